// Permissions, owners and times of backed-up entries, kept by the backup and given back by the restore
// on a local folder and on an SMB share.

#include "engine/backup_fixture.h"
#include "engine/entry_metadata.h"
#include "engine/restore_dialogs.h"
#include "fixtures/samba_server.h"
#include "formats/text_file.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;

// What the restore must give back of one entry.
struct EntryState {
    char kind = '?';
    uint32_t mode = 0;
    uint32_t owner = 0;
    uint32_t group = 0;
    int64_t seconds = 0;
    long nanoseconds = 0;
    bool operator==(const EntryState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const EntryState& s) {
    return out << s.kind << ' ' << std::oct << s.mode << std::dec << ' ' << s.owner << ':' << s.group << ' '
               << s.seconds << '.' << s.nanoseconds;
}

EntryState StateOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    const char kind = S_ISDIR(info.st_mode) ? 'd' : S_ISLNK(info.st_mode) ? 'l' : 'f';
    return {kind, info.st_mode & 07777u, info.st_uid, info.st_gid, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
}

// Every entry below `root` and `root` itself (as ""), by relative path; links are not followed.
QMap<QString, EntryState> Snapshot(const QString& root) {
    QMap<QString, EntryState> states{{QString(), StateOf(root)}};
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        states.insert(path.mid(root.size() + 1), StateOf(path));
    }
    return states;
}

void SetTimes(const QString& path, int64_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

void SetMode(const QString& path, mode_t mode) {
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

void SetOwner(const QString& path, uid_t owner, gid_t group) {
    ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), owner, group), 0);
}

class ScriptedDialogs final : public TRestoreDialogs {
public:
    QString output;
    int point = 0;
    std::optional<QString> ChooseOutputDirectory(const QString&) override { return output; }
    void ShowRestorePointsLoading() override {}
    void CloseRestorePoints() override {}
    std::optional<int> ChooseRestorePoint(const QStringList&) override { return point; }
    void ShowErrorMessage(const QString&) override {}
    QString AskPassword(const QString&, const QString&) override { return QString(); }
};

enum class Storage { Local, Smb };

struct MetadataCase {
    Storage storage;
    TBackupType type;
};

void PrintTo(const MetadataCase& c, std::ostream* out) {
    *out << (c.storage == Storage::Local ? "local " : "SMB ") << (c.type == btSync ? "mirror" : "chain");
}

std::string CaseName(const ::testing::TestParamInfo<MetadataCase>& info) {
    return std::string(info.param.storage == Storage::Local ? "Local" : "Smb") +
           (info.param.type == btSync ? "Mirror" : "Chain");
}

class EntryMetadataTest : public testing::BackupTest, public ::testing::WithParamInterface<MetadataCase> {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        job->Settings.Sources.List = {Source(u"Docs/*"_s)};
        job->Settings.Backup.BackupType = btInc;
        job->Settings.Backup.PerformFullBackup_EveryCopies = 10;
    }
    void TearDown() override {
        if (server)
            QDir(server->ShareFolder() + u'/' + shareFolder).removeRecursively();
        BackupTest::TearDown();
    }

    // Sends the job's backups to a fresh folder on the test share; false when no server runs here.
    bool UseShare() {
        server = testing::SambaServer::Shared();
        if (!server)
            return false;
        shareFolder = u"meta-"_s + QString::number(QRandomGenerator::global()->generate());
        EXPECT_TRUE(QDir().mkpath(server->ShareFolder() + u'/' + shareFolder));
        job->DestinationType = dtNetwork;
        job->DestinationPath = server->UncPath(shareFolder);
        job->Destination_NetworkUsername = server->User();
        job->Destination_NetworkPassword = server->Password();
        return true;
    }

    void Restore(int point, const QString& output) {
        ASSERT_TRUE(QDir().mkpath(output));
        dialogs.output = output;
        dialogs.point = point;
        job->LastJobResult.Log.clear();
        job->Restore(dialogs);
        job->WaitForWorker();
    }
    QString Output(int point) const { return HomePath(u"out"_s + QString::number(point)); }

    // Folders 0755, 0700 and 0750, files 0600, 0755 and 0644, some owned by someone else, every time with
    // its own nanoseconds; folder times set last, as writing into a folder moves its time.
    void BuildFirstTree() {
        WriteFileBytes(Source(u"Docs/private/key.txt"_s), "secret");
        WriteFileBytes(Source(u"Docs/run.sh"_s), "#!/bin/sh\n");
        WriteFileBytes(Source(u"Docs/Sub/data.txt"_s), "data");
        WriteFileBytes(Source(u"Docs/Sub/Deep/old.txt"_s), "old");
        SetMode(Source(u"Docs/private/key.txt"_s), 0600);
        SetMode(Source(u"Docs/run.sh"_s), 0755);
        SetMode(Source(u"Docs/Sub/data.txt"_s), 0644);
        SetMode(Source(u"Docs/private"_s), 0700);
        SetMode(Source(u"Docs/Sub"_s), 0750);
        SetMode(Source(u"Docs"_s), 0755);
        if (::geteuid() == 0) {
            SetOwner(Source(u"Docs/private/key.txt"_s), 1234, 1234);
            SetOwner(Source(u"Docs/private"_s), 1234, 1234);
            SetOwner(Source(u"Docs/Sub/data.txt"_s), 1234, 4321);
        }
        SetTimes(Source(u"Docs/private/key.txt"_s), 1'600'000'001, 123'456'789);
        SetTimes(Source(u"Docs/run.sh"_s), 1'600'000'002, 1);
        SetTimes(Source(u"Docs/Sub/data.txt"_s), 1'600'000'003, 999'999'999);
        SetTimes(Source(u"Docs/Sub/Deep/old.txt"_s), 1'600'000'004, 500'000'000);
        SetTimes(Source(u"Docs/Sub/Deep"_s), 1'500'000'005, 5);
        SetTimes(Source(u"Docs/Sub"_s), 1'500'000'006, 66'000'000);
        SetTimes(Source(u"Docs/private"_s), 1'500'000'007, 777);
        SetTimes(Source(u"Docs"_s), 1'500'000'008, 888'888'888);
    }

    // New content, mode and owner for key.txt, a new file in Sub, Deep gone, every folder time moved.
    void ChangeTree() {
        WriteFileBytes(Source(u"Docs/private/key.txt"_s), "secret, changed");
        SetMode(Source(u"Docs/private/key.txt"_s), 0640);
        if (::geteuid() == 0)
            SetOwner(Source(u"Docs/private/key.txt"_s), 4321, 1234);
        SetTimes(Source(u"Docs/private/key.txt"_s), 1'600'100'001, 42);
        WriteFileBytes(Source(u"Docs/Sub/new.txt"_s), "new");
        SetMode(Source(u"Docs/Sub/new.txt"_s), 0400);
        SetTimes(Source(u"Docs/Sub/new.txt"_s), 1'600'100'002, 200'000'002);
        ASSERT_TRUE(QDir(Source(u"Docs/Sub/Deep"_s)).removeRecursively());
        SetMode(Source(u"Docs/Sub"_s), 0711);
        SetTimes(Source(u"Docs/Sub"_s), 1'500'100'006, 600);
        SetTimes(Source(u"Docs/private"_s), 1'500'100'007, 700'000'007);
        SetTimes(Source(u"Docs"_s), 1'500'100'008, 8);
    }

    testing::SambaServer* server = nullptr;
    QString shareFolder;
    ScriptedDialogs dialogs;
};

TEST_P(EntryMetadataTest, EachPointRestoresModesOwnersAndTimesOfFilesAndFolders) {
    if (GetParam().storage == Storage::Smb && !UseShare())
        GTEST_SKIP() << "Samba server unavailable: " << testing::SambaServer::StartFailure().toStdString();
    job->Settings.Backup.BackupType = GetParam().type;

    BuildFirstTree();
    QList<QMap<QString, EntryState>> snapshots{Snapshot(Source(u"Docs"_s))};
    QList<QMap<QString, QByteArray>> contents{TreeContents(Source(u"Docs"_s))};
    RunBackup();
    ASSERT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    ChangeTree();
    snapshots.append(Snapshot(Source(u"Docs"_s)));
    contents.append(TreeContents(Source(u"Docs"_s)));
    RunBackup();
    ASSERT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    ASSERT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();

    // A mirror holds only its last state.
    const int first = GetParam().type == btSync ? 1 : 0;
    for (int point = first; point < snapshots.size(); ++point) {
        SCOPED_TRACE(point);
        Restore(GetParam().type == btSync ? -1 : point, Output(point));
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.WarningsCount, 0) << LogText().toStdString();
        const QString restored = Output(point) + u"/Docs"_s;
        EXPECT_EQ(TreeContents(restored), contents[point]);
        const QMap<QString, EntryState> states = Snapshot(restored);
        EXPECT_EQ(states.keys(), snapshots[point].keys());
        for (auto it = snapshots[point].cbegin(); it != snapshots[point].cend(); ++it)
            EXPECT_EQ(states.value(it.key()), it.value()) << "Docs/" << it.key().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(StorageKinds, EntryMetadataTest,
                         ::testing::Values(MetadataCase{Storage::Local, btInc},
                                           MetadataCase{Storage::Smb, btInc},
                                           MetadataCase{Storage::Local, btSync},
                                           MetadataCase{Storage::Smb, btSync}),
                         CaseName);

class EntryMetadataLocalTest : public testing::BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        job->Settings.Sources.List = {Source(u"Docs/*"_s)};
        job->Settings.Backup.BackupType = btFull;
    }
    QString OnlyPoint() const {
        return JobFolder(QDir(JobFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)[0]);
    }
    void Restore() {
        ASSERT_TRUE(QDir().mkpath(HomePath(u"out"_s)));
        dialogs.output = HomePath(u"out"_s);
        job->LastJobResult.Log.clear();
        job->Restore(dialogs);
        job->WaitForWorker();
    }
    ScriptedDialogs dialogs;
};

TEST_F(EntryMetadataLocalTest, ABackupWithoutAMetadataListRestoresAsBefore) {
    WriteSource(u"Docs/a.txt"_s, "a");
    WriteSource(u"Docs/Sub/b.txt"_s, "b");
    RunBackup();
    ASSERT_TRUE(QFile::remove(OnlyPoint() + u"/_rm.qkl"_s));
    Restore();
    EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    EXPECT_EQ(job->LastJobResult.WarningsCount, 0) << LogText().toStdString();
    EXPECT_EQ(TreeContents(HomePath(u"out"_s)),
              (QMap<QString, QByteArray>{{u"Docs/a.txt"_s, "a"}, {u"Docs/Sub/b.txt"_s, "b"}}));
}

// Lines that cannot be read, entries that climb out, and links in the output: each is left alone with
// a warning, and nothing behind a link changes.
TEST_F(EntryMetadataLocalTest, UnreadableLinesAndLinksInTheOutputAreLeftAlone) {
    WriteSource(u"Docs/a.txt"_s, "a");
    SetTimes(Source(u"Docs"_s), 1'500'000'000, 5);
    RunBackup();
    const QString outside = HomePath(u"outside"_s);
    WriteFileBytes(outside + u"/target.txt"_s, "t");
    SetMode(outside + u"/target.txt"_s, 0644);
    SetTimes(outside + u"/target.txt"_s, 1'400'000'000, 0);
    const EntryState before = StateOf(outside + u"/target.txt"_s);
    const EntryState folderBefore = StateOf(outside);
    ASSERT_TRUE(QDir().mkpath(HomePath(u"out/Docs"_s)));
    ASSERT_TRUE(QFile::link(outside + u"/target.txt"_s, HomePath(u"out/Docs/file-link"_s)));
    ASSERT_TRUE(QFile::link(outside, HomePath(u"out/Docs/folder-link"_s)));

    QStringList lines = SplitTextLines(ReadFileBytes(OnlyPoint() + u"/_rm.qkl"_s));
    lines << u"f 0777 0 0 1.000000000 Docs/file-link"_s
          << u"f 0777 0 0 1.000000000 Docs/folder-link/target.txt"_s
          << u"d 0777 0 0 1.000000000 Docs/folder-link"_s << u"f 0777 0 0 1.000000000 ../outside/target.txt"_s
          << u"not a metadata line"_s << u"f 0999 0 0 1.000000000 Docs/a.txt"_s;
    ASSERT_TRUE(WriteTextFileLines(OnlyPoint() + u"/_rm.qkl"_s, lines));

    Restore();
    EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    EXPECT_EQ(StateOf(outside + u"/target.txt"_s), before);
    EXPECT_EQ(StateOf(outside), folderBefore);
    EXPECT_EQ(StateOf(HomePath(u"out/Docs/file-link"_s)).kind, 'l');
    // One warning for the unreadable lines, one for each link met.
    EXPECT_EQ(job->LastJobResult.WarningsCount, 4) << LogText().toStdString();
    // The readable lines still apply.
    EXPECT_EQ(StateOf(HomePath(u"out/Docs"_s)).seconds, 1'500'000'000);
    EXPECT_EQ(StateOf(HomePath(u"out/Docs"_s)).nanoseconds, 5);
}

TEST(EntryMetadataLines, EntriesAndLinesSurviveTheirRoundTrip) {
    struct Case {
        QString path;
        QString entry; // as a list line writes it
        QByteArray bytes;
    };
    const Case cases[] = {
        {u"Docs/with space/a b.txt"_s, u"Docs/with space/a b.txt"_s, "Docs/with space/a b.txt"},
        {u"Docs/100%.txt"_s, u"Docs/100%.txt"_s, "Docs/100%.txt"},
        {u"Docs/Übersicht.txt"_s, u"Docs/Übersicht.txt"_s,
         "Docs/\xC3\x9C"
         "bersicht.txt"},
        {u"Docs/two\nlines%\r.txt"_s, u"/f/Docs/two%0Alines%25%0D.txt"_s, "Docs/two\nlines%\r.txt"},
        {u"Docs/bad"_s + QChar(0xDCFF) + u"Ü.txt"_s, u"/f/Docs/bad%FFÜ.txt"_s, "Docs/bad\xFF\xC3\x9C.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(EncodeListEntry(c.path), c.entry);
        EXPECT_EQ(DecodeListEntry(c.entry), c.bytes);
        const TFileMetadata metadata{04755, 1234, 4321, {-5, 7}};
        const QString line = FormatMetadataLine(TMetadataTarget::Folder, metadata, c.path);
        EXPECT_EQ(line, u"d 4755 1234 4321 -5.000000007 "_s + c.entry);
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r'));
        TMetadataLine parsed;
        ASSERT_TRUE(ParseMetadataLine(line, parsed));
        EXPECT_EQ(parsed.Kind, TMetadataTarget::Folder);
        EXPECT_EQ(parsed.Metadata.Mode, 04755u);
        EXPECT_EQ(parsed.Metadata.Owner, 1234u);
        EXPECT_EQ(parsed.Metadata.Group, 4321u);
        EXPECT_EQ(parsed.Metadata.LastWrite.tv_sec, -5);
        EXPECT_EQ(parsed.Metadata.LastWrite.tv_nsec, 7);
        EXPECT_EQ(parsed.Entry, c.entry);
    }
    for (const QString& bad :
         {u"x 0644 0 0 1.000000000 a"_s, u"f 0644 0 0 1.5 a"_s, u"f 0644 0 0 1.000000000"_s,
          u"f 0644 -1 0 1.000000000 a"_s, u"f 10000 0 0 1.000000000 a"_s, u"f 0644 0 0 1.000000000x a"_s}) {
        TMetadataLine parsed;
        EXPECT_FALSE(ParseMetadataLine(bad, parsed)) << bad.toStdString();
    }
}

// A newer point's word on an entry wins, and an entry a newer point copies, creates or deletes without
// a line of its own keeps nothing of the older one's.
TEST(EntryMetadataLines, TheNewestPointDecidesAndFoldersComeLastDeepestFirst) {
    TChainMetadata chain;
    EXPECT_EQ(chain.Add({u"f 0600 1 1 10.000000000 Docs/a.txt"_s, u"d 0700 1 1 11.000000000 Docs"_s,
                         u"d 0700 1 1 12.000000000 Docs/Sub/Deep"_s, u"d 0700 1 1 13.000000000 Docs/Sub"_s,
                         u"f 0600 1 1 14.000000000 Docs/gone.txt"_s}),
              0);
    chain.Forget(TListEntries{{u"Docs/gone.txt"_s, false}});
    EXPECT_EQ(chain.Add({u"f 0644 2 2 20.000000000 Docs/a.txt"_s, u"garbage"_s,
                         u"f 0644 2 2 20.000000000 Docs/../x"_s}),
              2);
    QStringList order;
    for (const TChainMetadata::TItem& item : chain.InApplyOrder())
        order.append(QString::fromUtf8(item.Path) + u' ' + QString::number(item.Metadata.LastWrite.tv_sec));
    EXPECT_EQ(order,
              (QStringList{u"Docs/a.txt 20"_s, u"Docs/Sub/Deep 12"_s, u"Docs/Sub 13"_s, u"Docs 11"_s}));
}

} // namespace
} // namespace morvane
