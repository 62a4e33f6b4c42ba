// Drive-image jobs running the real morvane-imager: each test mounts a source and a target volume of
// its own (in the program's private mount namespace), so the tool images nothing else.

#include "image/drive_image_e2e.h"
#include "image/imaging_command_lines.h"
#include "image/recording_processes.h"

#include "fixtures/temp_home.h"
#include "jobs/job.h"
#include "options/options.h"
#include "platform/date_time.h"
#include "platform/volumes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::RecordingProcesses;
using Call = RecordingProcesses::Call;

// Waits for something a program started without waiting for it (stop, prune, delete) has done.
bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1200; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

class DriveImageEndToEndTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        if (!testing::InPrivateMountNamespace() || ::geteuid() != 0)
            GTEST_SKIP() << "needs root and a private mount namespace to mount the test volumes";
        qputenv("MORVANE_IMAGER_RUN_DIR", QFile::encodeName(RunFolder()));
        savedPath_ = qgetenv("PATH");
        // The tool is found by name only where a test puts it.
        ASSERT_TRUE(QDir().mkpath(HomePath(u"path"_s)));
        qputenv("PATH", QFile::encodeName(HomePath(u"path"_s)));
        Mount(Source());
        Mount(Target());
        // Never let the tool see a real volume.
        ASSERT_EQ(VolumeRootOf(Source()), Source());
        ASSERT_EQ(VolumeRootOf(Target() + u"/Backups"_s), Target());

        GlobalOptions() = DefaultOptions();
        GlobalOptions().Processing.IfDestinationNotAvailable_Retry_Times = 0;
        ASSERT_TRUE(QDir().mkpath(Target() + u"/Backups"_s));
        job.Settings.SourceDrivesList = {Source()};
        job.DestinationPath = Target() + u"/Backups"_s;
        job.ProcessService = &processes;
    }

    void TearDown() override {
        job.Cancel();
        job.WaitForWorker();
        // Stop, prune and delete commands outlive the runs; the volumes go once they have ended.
        EXPECT_TRUE(WaitUntil([this] { return NoToolRuns(); }));
        for (const QString& volume : mounted_)
            ::umount2(QFile::encodeName(volume).constData(), MNT_DETACH);
        if (!savedPath_.isNull())
            qputenv("PATH", savedPath_);
        qunsetenv("MORVANE_IMAGER_RUN_DIR");
        TempHomeTest::TearDown();
    }

    void Mount(const QString& folder) {
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_EQ(
            ::mount("morvane-test", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64m,mode=0755"),
            0)
            << folder.toStdString();
        mounted_.append(folder);
    }

    QString Source() const { return HomePath(u"source volume"_s); }
    QString Target() const { return HomePath(u"target"_s); }
    QString RunFolder() const { return HomePath(u"run"_s); }
    static QString Beside() { return QCoreApplication::applicationDirPath() + u"/morvane-imager"_s; }

    bool NoToolRuns() const {
        return QDir(RunFolder()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty();
    }

    QString HostFolder() const {
        const QDir images(Target() + u"/MorvaneImageBackup"_s);
        const QStringList hosts = images.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return hosts.size() == 1 ? images.filePath(hosts.first()) : QString();
    }
    // Finished versions, oldest first.
    QStringList Versions() const {
        QStringList versions;
        if (HostFolder().isEmpty())
            return versions;
        for (const QString& name :
             QDir(HostFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            if (!name.endsWith(u".partial"_s) && !name.endsWith(u".deleting"_s))
                versions.append(name);
        return versions;
    }
    QStringList Unfinished() const {
        return HostFolder().isEmpty()
                   ? QStringList()
                   : QDir(HostFolder()).entryList({u"*.partial"_s}, QDir::Dirs | QDir::Hidden);
    }

    void RunBackup() {
        job.Backup();
        job.WaitForWorker();
    }

    QString StartArguments() const {
        return u"start backup -backupTarget:"_s + Target() + u" -include:\""_s + Source() +
               u"\" -allCritical -quiet"_s;
    }
    QString LogText() const { return job.LastJobResult.Log.join(u'\n'); }

    // The line before "Removing the temporary files.": the run's closing line.
    QString ClosingLine() const {
        const QStringList& log = job.LastJobResult.Log;
        for (qsizetype i = log.size() - 1; i > 0; --i)
            if (log[i].endsWith(u": Removing the temporary files."_s))
                return log[i - 1];
        ADD_FAILURE() << LogText().toStdString();
        return {};
    }

    RecordingProcesses processes;
    TJob_DriveImage job{u"System"_s};

private:
    QStringList mounted_;
    QByteArray savedPath_;
};

TEST_F(DriveImageEndToEndTest, ABackupWritesAnImageOfTheVolumeAndTheStorageCopyOfTheJob) {
    ASSERT_TRUE(QDir().mkpath(Source() + u"/Documents"_s));
    testing::WriteFileBytes(Source() + u"/Documents/letter.txt"_s, "Dear Ann,\n");
    testing::WriteFileBytes(Source() + u"/notes.txt"_s, QByteArray(100000, 'n'));

    RunBackup();

    // Not on the search path, so found beside the program, with the volume mount points as drives.
    EXPECT_EQ(processes.Started(),
              (std::vector<Call>{{u"morvane-imager"_s, StartArguments()}, {Beside(), StartArguments()}}));
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    EXPECT_FALSE(job.LastJobResult.Cancelled);
    EXPECT_EQ(job.JobStatus, jsNone);
    const QStringList versions = Versions();
    ASSERT_EQ(versions.size(), 1) << LogText().toStdString();
    EXPECT_TRUE(QFileInfo(HostFolder() + u'/' + versions[0] + u"/volume-1.tar.zst"_s).size() > 0);
    EXPECT_TRUE(Unfinished().isEmpty());

    TJob_DriveImage stored(u"System"_s);
    ASSERT_TRUE(QFileInfo::exists(Target() + u"/Backups/System.bmj"_s));
    stored.LoadRemoteJobFile(Target() + u"/Backups/System.bmj"_s, true);
    EXPECT_EQ(stored.Settings.SourceDrivesList, QStringList{Source()});

    // The tool's own lines are kept as they are; banner and progress are not logged.
    EXPECT_TRUE(job.LastJobResult.Log.contains(u"The backup operation successfully completed."_s))
        << LogText().toStdString();
    EXPECT_FALSE(LogText().contains(u"Copyright"_s));
    EXPECT_FALSE(LogText().contains(u", copied ("_s));
    EXPECT_EQ(ClosingLine(), QString());
    EXPECT_TRUE(processes.Launched().empty());
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Starting the \"System\" backup."_s});
}

TEST_F(DriveImageEndToEndTest, PruningKeepsTheNewestVersionsOnlyAfterARunWithoutErrors) {
    testing::WriteFileBytes(Source() + u"/file.txt"_s, "content");
    RunBackup();
    RunBackup();
    ASSERT_EQ(Versions().size(), 2) << LogText().toStdString();
    job.Settings.AutocleanOldBackups = true;
    job.Settings.NumberOfBackupVersionsToKeep = u"1"_s;

    // A held target makes the tool refuse the run: an error, so nothing is pruned.
    const int lock = ::open(QFile::encodeName(HostFolder() + u"/.lock"_s).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    RunBackup();
    ::close(lock);
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
    EXPECT_TRUE(job.LastJobResult.Log.filter(u": ERROR:Another backup or recovery operation is in progress"_s)
                    .size() == 1)
        << LogText().toStdString();
    EXPECT_TRUE(processes.Launched().empty());
    EXPECT_EQ(Versions().size(), 2);

    RunBackup();
    ASSERT_EQ(job.LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    const QString newest = Versions().last();
    EXPECT_EQ(processes.Launched(),
              (std::vector<Call>{
                  {Beside(), u"delete backup -backuptarget:"_s + Target() + u" -keepversions:1 -quiet"_s}}));
    EXPECT_TRUE(WaitUntil([this] { return Versions().size() == 1 && NoToolRuns(); }));
    EXPECT_EQ(Versions(), QStringList{newest});
}

TEST_F(DriveImageEndToEndTest, CancellingStopsTheToolThroughTheProgramThatStartedIt) {
    // A large sparse file takes long to read whole, yet costs no space.
    {
        QFile big(Source() + u"/disk.img"_s);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(64) << 30));
    }
    for (const bool byName : {true, false}) {
        SCOPED_TRACE(byName ? "started by name" : "started beside the program");
        QFile::remove(HomePath(u"path/morvane-imager"_s));
        if (byName) {
            ASSERT_TRUE(QFile::link(Beside(), HomePath(u"path/morvane-imager"_s)));
        }
        RecordingProcesses recorder;
        job.ProcessService = &recorder;

        job.Backup();
        // The tool runs once it reports progress.
        ASSERT_TRUE(WaitUntil(
            [this] { return !job.CurrentFileOperationPath.Text().isEmpty() || job.JobStatus == jsNone; }));
        ASSERT_NE(job.JobStatus, jsNone) << LogText().toStdString();
        job.Cancel();
        job.WaitForWorker();

        const std::vector<Call> started = recorder.Started();
        ASSERT_EQ(started.size(), byName ? 1u : 2u);
        const QString program = byName ? u"morvane-imager"_s : Beside();
        EXPECT_EQ(started.back().program, program);
        EXPECT_EQ(recorder.Launched(), (std::vector<Call>{{program, u"stop job -quiet"_s}}));
        EXPECT_TRUE(job.LastJobResult.Cancelled);
        EXPECT_TRUE(ClosingLine().endsWith(u": Backup is cancelled."_s)) << LogText().toStdString();
        EXPECT_TRUE(TakeEventTexts().contains(u"\"System\" backup is cancelled."_s));
        EXPECT_FALSE(QFileInfo::exists(Target() + u"/Backups/System.bmj"_s));

        // The stopped tool removes what it had begun.
        EXPECT_TRUE(WaitUntil([this] { return NoToolRuns() && Unfinished().isEmpty(); }));
        EXPECT_TRUE(Versions().isEmpty());
        job.CurrentFileOperationPath.Set(QStringView());
        job.ProcessService = &processes;
    }
}

TEST_F(DriveImageEndToEndTest, RemoveDeletesEveryVersionOnlyWhenOldVersionsAreCleaned) {
    testing::WriteFileBytes(Source() + u"/file.txt"_s, "content");
    const QString deleteAll = u"delete backup -backuptarget:"_s + Target() + u" -keepversions:0 -quiet"_s;
    for (const bool autoclean : {false, true}) {
        SCOPED_TRACE(autoclean ? "autoclean" : "no autoclean");
        RunBackup();
        ASSERT_EQ(job.LastJobResult.ErrorsCount, 0) << LogText().toStdString();
        ASSERT_FALSE(Versions().isEmpty());
        ASSERT_TRUE(QFileInfo::exists(Target() + u"/Backups/System.bmj"_s));
        RecordingProcesses recorder;
        job.ProcessService = &recorder;
        job.Settings.AutocleanOldBackups = autoclean;

        EXPECT_EQ(job.Remove(), autoclean);

        EXPECT_FALSE(QFileInfo::exists(Target() + u"/Backups/System.bmj"_s));
        if (autoclean) {
            // By name first, then beside the program, where it is.
            EXPECT_EQ(recorder.Launched(),
                      (std::vector<Call>{{u"morvane-imager"_s, deleteAll}, {Beside(), deleteAll}}));
            EXPECT_TRUE(WaitUntil([this] { return Versions().isEmpty() && NoToolRuns(); }));
            EXPECT_TRUE(Versions().isEmpty());
        } else {
            EXPECT_TRUE(recorder.Launched().empty());
            EXPECT_EQ(Versions().size(), 1);
        }
        job.ProcessService = &processes;
    }
}

} // namespace
} // namespace morvane
