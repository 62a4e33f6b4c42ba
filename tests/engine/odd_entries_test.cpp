// Entries an ordinary Linux home holds that a plain file copy gets wrong: names that are not text or
// hold line breaks, symbolic links of every kind, pipes, empty and sparse files. Each is backed up and
// restored into an identical tree, compared by name bytes, type, content and link target.

#include "engine/backup_fixture.h"
#include "engine/scripted_restore_dialogs.h"
#include "platform/file_names.h"
#include "platform/local_files.h"

#include <QDir>
#include <QMap>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

// What a tree holds at one name: its kind and its content (a file's bytes, a link's target).
struct Node {
    char kind = '?'; // 'f' file, 'd' folder, 'l' link, 'p' pipe or other
    QByteArray data;
    bool operator==(const Node&) const = default;
};
using Snapshot = QMap<QByteArray, Node>;

void PrintTo(const Node& node, std::ostream* out) {
    *out << node.kind << ':' << node.data.left(64).toHex().toStdString();
}

QByteArray ReadAll(const QByteArray& path, int64_t size) {
    QByteArray content(size, '\0');
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<unreadable>";
    const ssize_t got = ::read(fd, content.data(), size_t(size));
    ::close(fd);
    return got == size ? content : "<changed while read>";
}

// Walks a tree by bytes, never following a link.
void Walk(const QByteArray& root, const QByteArray& relative, Snapshot& snapshot) {
    const QByteArray folder = relative.isEmpty() ? root : root + '/' + relative;
    DIR* dir = ::opendir(folder.constData());
    ASSERT_NE(dir, nullptr) << folder.toStdString();
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray rel = relative.isEmpty() ? name : relative + '/' + name;
        const QByteArray path = root + '/' + rel;
        struct stat info {};
        ASSERT_EQ(::lstat(path.constData(), &info), 0);
        Node node;
        if (S_ISREG(info.st_mode)) {
            node = {'f', ReadAll(path, info.st_size)};
        } else if (S_ISDIR(info.st_mode)) {
            node = {'d', {}};
            Walk(root, rel, snapshot);
        } else if (S_ISLNK(info.st_mode)) {
            char target[4096];
            const ssize_t length = ::readlink(path.constData(), target, sizeof target);
            node = {'l', QByteArray(target, int(length))};
        } else {
            node = {'p', {}};
        }
        snapshot.insert(rel, node);
    }
    ::closedir(dir);
}

Snapshot TakeSnapshot(const QString& root) {
    Snapshot snapshot;
    Walk(NameToBytes(root), {}, snapshot);
    return snapshot;
}

int64_t AllocatedBytes(const QString& path) {
    struct stat info {};
    return ::stat(NameToBytes(path).constData(), &info) == 0 ? int64_t(info.st_blocks) * 512 : -1;
}

constexpr int64_t HoleBytes = int64_t(64) << 20;
constexpr time_t FirstLinkTime = 1'700'000'000;

class OddEntriesTest : public testing::BackupTest, public ::testing::WithParamInterface<TBackupType> {
protected:
    QByteArray Raw(const QByteArray& relative) const {
        return NameToBytes(Source(u"Docs"_s)) + '/' + relative;
    }

    void File(const QByteArray& relative, const QByteArray& content) {
        const int fd = ::open(Raw(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << relative.toStdString();
        ASSERT_EQ(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
        ::close(fd);
    }
    void Folder(const QByteArray& relative) { ASSERT_EQ(::mkdir(Raw(relative).constData(), 0755), 0); }
    void Link(const QByteArray& relative, const QByteArray& target, time_t when) {
        ::unlink(Raw(relative).constData());
        ASSERT_EQ(::symlink(target.constData(), Raw(relative).constData()), 0);
        const timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, Raw(relative).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    }
    // Data, a hole of 64 MiB, data.
    void SparseFile(const QByteArray& relative) {
        const int fd = ::open(Raw(relative).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(::pwrite(fd, "tail", 4, HoleBytes + 4096), 4);
        ::close(fd);
    }

    void MakeTree() {
        ASSERT_TRUE(QDir().mkpath(Source(u"Docs"_s)));
        ASSERT_TRUE(QDir().mkpath(HomePath(u"elsewhere"_s)));
        File("line\nbreak.txt", "lf");
        File("cr\rname.txt", "cr");
        File("crlf\r\n.txt", "crlf");
        File("bad\xFF\xFE.txt", "not utf-8");
        File("100%.txt", "percent");
        File("%0A.txt", "looks escaped");
        File("caf\xC3\xA9.txt", "valid text");
        // U+FEFF starting a name is part of it: read as a byte-order mark, it would name the next file.
        File("\xEF\xBB\xBFmark.txt", "marked");
        File("mark.txt", "plain");
        Folder("\xEF\xBB\xBFmarked dir");
        File("\xEF\xBB\xBFmarked dir/\xEF\xBB\xBFinner", "marked inner");
        File("empty", "");
        Folder("sub\xE9"
               "dir");
        File("sub\xE9"
             "dir/inner.txt",
             "inner");
        Folder("new\nline dir");
        File("new\nline dir/x.txt", "x");
        Folder("empty\rdir");
        Link("to-file", "caf\xC3\xA9.txt", FirstLinkTime);
        Link("to-folder",
             "sub\xE9"
             "dir",
             FirstLinkTime);
        Link("sub\xE9"
             "dir/up",
             "..", FirstLinkTime);
        Link("dangling", "nowhere/at all", FirstLinkTime);
        Link("outside", NameToBytes(HomePath(u"elsewhere"_s)), FirstLinkTime);
        Link("link\nname\xFF", "target\xFF\n%", FirstLinkTime);
        ASSERT_EQ(::mkfifo(Raw("pipe").constData(), 0600), 0);
        SparseFile("sparse.bin");
    }

    // The source as a restore must rebuild it: everything but the pipe.
    Snapshot Expected() const {
        Snapshot expected = TakeSnapshot(Source(u"Docs"_s));
        EXPECT_EQ(expected.take("pipe").kind, 'p');
        return expected;
    }

    QString StoredSparseFile() const {
        if (GetParam() == btSync)
            return JobFolder(u"Docs/sparse.bin"_s);
        return JobFolder(Subfolders().value(0) + u"/Docs/sparse.bin"_s);
    }

    // Restores the newest point into a new output folder and returns that folder.
    QString RestoreLatest(const QString& name) {
        const QString output = HomePath(name);
        EXPECT_TRUE(QDir().mkpath(output));
        dialogs.outputFolder = output;
        dialogs.point = int(MainBackupList().size()) - 2;
        job->Restore(dialogs);
        job->WaitForWorker();
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
        EXPECT_FALSE(job->LastJobResult.Cancelled);
        return output + u"/Docs"_s;
    }

    void TearDown() override {
        // The odd names are removed by bytes: the temporary home's own clean-up reads names as text.
        job->WaitForWorker();
        for (const QString& folder : {u"src"_s, u"dest"_s, u"out1"_s, u"out2"_s})
            LocalRemoveTree(HomePath(folder));
        BackupTest::TearDown();
    }

    testing::ScriptedRestoreDialogs dialogs;
};

TEST_P(OddEntriesTest, BackedUpAndRestoredIntoAnIdenticalTree) {
    MakeTree();
    job->Settings.Backup.BackupType = GetParam();
    job->Settings.Sources.List = {Source(u"Docs/*"_s)};
    RunBackup();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    EXPECT_EQ(job->LastJobResult.WarningsCount, 1);
    EXPECT_TRUE(LogText().contains(u"WARNING: Skipped, not a regular file, folder or link: "_s +
                                   Source(u"Docs/pipe"_s)));
    EXPECT_LT(AllocatedBytes(StoredSparseFile()), 1 << 20);

    const QString first = RestoreLatest(u"out1"_s);
    EXPECT_EQ(TakeSnapshot(first), Expected());
    EXPECT_EQ(QFileInfo(first + u"/sparse.bin"_s).size(), HoleBytes + 4100);
    EXPECT_LT(AllocatedBytes(first + u"/sparse.bin"_s), 1 << 20);

    // A link given a new target is a change the next run stores and a restore brings back.
    Link("to-file", "100%.txt", FirstLinkTime + 100);
    RunBackup();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    const QString second = RestoreLatest(u"out2"_s);
    const Snapshot restored = TakeSnapshot(second);
    EXPECT_EQ(restored, Expected());
    EXPECT_EQ(restored.value("to-file"), (Node{'l', "100%.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Types, OddEntriesTest, ::testing::Values(btInc, btSync),
                         [](const ::testing::TestParamInfo<TBackupType>& type) {
                             return type.param == btSync ? "Mirror" : "Incremental";
                         });

} // namespace
} // namespace morvane
