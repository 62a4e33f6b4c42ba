// Backups whose storage goes away in the middle of a run, on real volumes: a drive unplugged (its mount
// lazily detached, leaving a read-only folder in its place) and a drive that fills up. With the pause
// policy the run waits, and goes on to a complete point once the storage is back and the user resumes;
// with the cancel policy it ends cancelled with the storage's own error. Either way the next run
// completes and the earlier point still restores as it was.

#include "engine/backup_fixture.h"
#include "engine/private_mounts.h"

#include "options/options.h"
#include "platform/local_files.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include <sys/mount.h>
#include <sys/statvfs.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;
using Tree = QMap<QString, QByteArray>;

enum class Loss { Unplugged, Full };
enum class Policy { Cancel, Pause };

using testing::WaitUntil;

class StorageLossTest : public testing::BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        if (const QString refusal = testing::PrivateMountsRefusal(); !refusal.isEmpty())
            GTEST_SKIP() << "needs a mount namespace of its own to mount the test volumes: "
                         << refusal.toStdString();
        // The drive's own file system, and the read-only folder it is plugged into.
        Mount(HomePath(u"disk"_s), "size=1m,mode=0755", 0);
        Mount(HomePath(u"slot"_s), "size=64k,mode=0755", 0);
        ASSERT_TRUE(QDir().mkpath(Slot()));
        ASSERT_EQ(::mount(nullptr, Encoded(HomePath(u"slot"_s)), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
            << std::strerror(errno);
        Plug();
        job->DestinationPath = Slot();
        job->Settings.Backup.BackupType = btInc;
        TOptions& options = GlobalOptions();
        options.Processing.IfDestinationNotAvailable_Retry_Times = 1;
        options.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
    }

    void TearDown() override {
        if (job) {
            job->Cancel();
            job->WaitForWorker();
        }
        for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it)
            ::umount2(Encoded(*it), MNT_DETACH);
        BackupTest::TearDown();
        // The next test's temporary home goes where this one's would have gone.
        qputenv("TMPDIR", originalTemp_);
    }

    static const char* Encoded(const QString& path) {
        static thread_local QByteArray bytes;
        bytes = QFile::encodeName(path);
        return bytes.constData();
    }

    void Mount(const QString& folder, const char* options, unsigned long flags) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(::mount("morvane-test", Encoded(folder), "tmpfs", flags, options), 0)
            << folder.toStdString() << ": " << std::strerror(errno);
        mounted_.append(folder);
    }

    QString Slot() const { return HomePath(u"slot/drive"_s); }
    QString StoredJobFile(const QString& name) const { return Slot() + u'/' + job->stJobName + u'/' + name; }

    void Plug() {
        const QByteArray disk = QFile::encodeName(HomePath(u"disk"_s));
        ASSERT_EQ(::mount(disk.constData(), Encoded(Slot()), nullptr, MS_BIND, nullptr), 0)
            << std::strerror(errno);
        mounted_.append(Slot());
    }
    void Unplug() {
        ASSERT_EQ(::umount2(Encoded(Slot()), MNT_DETACH), 0) << std::strerror(errno);
        mounted_.removeLast();
    }

    // Leaves about `free` bytes on the drive.
    void Fill(int64_t free) {
        struct statvfs info {};
        ASSERT_EQ(::statvfs(Encoded(HomePath(u"disk"_s)), &info), 0);
        const int64_t available = int64_t(info.f_bavail) * int64_t(info.f_frsize);
        ASSERT_GT(available, free);
        WriteFileBytes(Filler(), QByteArray(available - free, 'f'));
    }
    QString Filler() const { return HomePath(u"disk/filler"_s); }

    void Lose(Loss loss) {
        if (loss == Loss::Unplugged)
            Unplug();
        else
            Fill(16 * 1024);
    }
    void GiveBack(Loss loss) {
        if (loss == Loss::Unplugged)
            Plug();
        else
            ASSERT_TRUE(QFile::remove(Filler()));
    }
    // An unplugged drive leaves its folder empty: the run's folders are no longer there.
    static int ErrorOf(Loss loss) { return loss == Loss::Unplugged ? ENOENT : ENOSPC; }

    // Starts a backup held before its first source file, takes the storage away, and lets it go on.
    void StartAndLoseStorage(Loss loss) {
        job->Backup();
        job->Pause();
        ASSERT_EQ(job->JobStatus, jsPaused);
        // The run's flag is on the storage: it has reached the source files, where a pause holds it.
        ASSERT_TRUE(WaitUntil([this] { return QFile::exists(StoredJobFile(u"_startflag.qkl"_s)); }))
            << LogText().toStdString();
        Lose(loss);
        Resume();
    }

    // A first point of a few files, then enough new files that the drive cannot take them when full.
    Tree MakeFirstPointAndChangeTheSource() {
        job->Settings.Sources.List = {Source() + u"/*"_s};
        WriteSource(u"a.txt"_s, "first");
        WriteSource(u"docs/b.txt"_s, QByteArray(3000, 'b'));
        RunBackup();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        const Tree first = TreeContents(Source());
        WriteSource(u"a.txt"_s, "second, longer", 60);
        for (int i = 0; i < 12; ++i)
            WriteSource(u"new/"_s + QString::number(i), QByteArray(24 * 1024, char('a' + i)), 60);
        return first;
    }

    QStringList mounted_;
    const QByteArray originalTemp_ = qgetenv("TMPDIR");
};

struct TLossCase {
    Loss loss;
    Policy policy;
};

class StorageLossCaseTest : public StorageLossTest, public ::testing::WithParamInterface<TLossCase> {};

TEST_P(StorageLossCaseTest, TheRunWaitsOrEndsAndTheNextRunRecoversWithNothingEarlierLost) {
    const TLossCase c = GetParam();
    GlobalOptions().Processing.IfDestinationNotAvailable_Then = c.policy == Policy::Pause ? 1 : 0;
    const Tree first = MakeFirstPointAndChangeTheSource();

    StartAndLoseStorage(c.loss);
    if (c.policy == Policy::Pause) {
        ASSERT_TRUE(WaitUntil([this] {
            return (job->JobStatus == jsPaused &&
                    job->CurrentFileOperationType == atNone_WaitingForReconnection) ||
                   job->JobStatus == jsNone;
        }));
        ASSERT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
        GiveBack(c.loss);
        Resume();
        job->WaitForWorker();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    } else {
        job->WaitForWorker();
        EXPECT_TRUE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_TRUE(LogText().contains(SystemErrorMessage(ErrorOf(c.loss)))) << LogText().toStdString();
        EXPECT_TRUE(LogText().contains(
            u"The job will be cancelled because destination is not accepting the file."_s));
        GiveBack(c.loss);
        RunBackup();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    }
    EXPECT_FALSE(QFile::exists(StoredJobFile(u"_startflag.qkl"_s)));
    EXPECT_EQ(Restored(0), first);
    EXPECT_EQ(Restored(1), TreeContents(Source()));
}

INSTANTIATE_TEST_SUITE_P(Losses, StorageLossCaseTest,
                         ::testing::Values(TLossCase{Loss::Unplugged, Policy::Pause},
                                           TLossCase{Loss::Unplugged, Policy::Cancel},
                                           TLossCase{Loss::Full, Policy::Pause},
                                           TLossCase{Loss::Full, Policy::Cancel}),
                         [](const ::testing::TestParamInfo<TLossCase>& param) {
                             return std::string(param.param.loss == Loss::Unplugged ? "Unplugged" : "Full") +
                                    (param.param.policy == Policy::Pause ? "Pause" : "Cancel");
                         });

} // namespace
} // namespace morvane
