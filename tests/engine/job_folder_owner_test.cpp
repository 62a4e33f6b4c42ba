// Job folders on a storage shared by two installations with a job of the same name.

#include "engine/backup_fixture.h"
#include "engine/job_folder_owner.h"
#include "formats/events_log.h"
#include "platform/installation_identity.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;

QByteArray OwnerFileOf(const QString& identity) {
    return "\xEF\xBB\xBF" + identity.toLatin1() + "\r\n";
}

class JobFolderOwnerTest : public testing::BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        WriteSource(u"Docs/a.txt"_s, "a");
        job->Settings.Sources.List = {Source(u"Docs/*"_s)};
        ours = InstallationIdentity();
        ASSERT_FALSE(ours.isEmpty());
    }
    QString OwnerPath() const { return JobFolder(u"_owner.qkl"_s); }
    void ExpectOwnedByUs() const {
        EXPECT_EQ(ReadFileBytes(OwnerPath()), OwnerFileOf(ours));
        EXPECT_EQ(CheckJobFolderOwner(*job, JobFolder()).Owner, TFolderOwner::Ours);
    }

    QString ours;
};

TEST_F(JobFolderOwnerTest, TheIdentityIsMadeOnceAndKeptInTheApplicationDirectory) {
    EXPECT_EQ(InstallationIdentity(), ours);
    EXPECT_EQ(InstallationIdentityPath(), AppDir() + u"/installation.id"_s);
    EXPECT_EQ(QUuid::fromString(QString::fromLatin1(ReadFileBytes(InstallationIdentityPath()).trimmed())),
              QUuid::fromString(ours));

    WriteFileBytes(InstallationIdentityPath(), "damaged");
    QString problem;
    EXPECT_TRUE(InstallationIdentity(&problem).isEmpty());
    EXPECT_TRUE(problem.contains(InstallationIdentityPath())) << problem.toStdString();
}

TEST_F(JobFolderOwnerTest, ABackupRunWritesOnlyIntoAFolderOfItsOwn) {
    struct Case {
        const char* name;
        std::function<void()> arrange; // on the folder a first run left
        bool refused;
    };
    const Case cases[] = {
        {"ours", [] {}, false},
        {"another installation's",
         [&] {
             WriteFileBytes(OwnerPath(), OwnerFileOf(QUuid::createUuid().toString(QUuid::WithoutBraces)));
         },
         true},
        {"an owner file naming no one", [&] { WriteFileBytes(OwnerPath(), "\xEF\xBB\xBF\r\n"); }, true},
        {"made by an earlier version, without owner file", [&] { QFile::remove(OwnerPath()); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(Dest()).removeRecursively() && QDir().mkpath(Dest()));
        RunBackup();
        ASSERT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        ExpectOwnedByUs();
        c.arrange();
        const auto storage = TreeContents(Dest());
        TakeEventTexts();
        WriteSource(u"Docs/a.txt"_s, "a, edited", 60);

        RunBackup();
        EXPECT_EQ(job->LastJobResult.Cancelled.load(), c.refused) << LogText().toStdString();
        if (!c.refused) {
            ExpectOwnedByUs();
            continue;
        }
        EXPECT_EQ(TreeContents(Dest()), storage);
        const QString refusal =
            u"ERROR: The backup folder "_s + JobFolder() +
            u" belongs to a job of another user or computer; this job does not use it. To "
            u"take the backup over, remove this job (keeping the backup folder) and import "
            u"the job file "_s +
            JobFolder() + u".bmj."_s;
        EXPECT_TRUE(LogText().contains(refusal)) << LogText().toStdString();
        EXPECT_TRUE(TakeEventTexts().contains(refusal));
        EXPECT_FALSE(job->Remove());
        EXPECT_EQ(TreeContents(Dest()), storage);
    }
}

TEST_F(JobFolderOwnerTest, AFolderTheRunRemovesAndMakesAgainIsStillOurs) {
    struct Case {
        const char* name;
        std::function<void()> arrange; // after a mirror run
    };
    const Case cases[] = {
        {"backup type changed",
         [&] {
             job->Settings.Backup.BackupType = btFull;
         }},
        {"mirror run interrupted",
         [&] {
             WriteFileBytes(JobFolder(u"_startflag.qkl"_s), "\xEF\xBB\xBF");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(Dest()).removeRecursively() && QDir().mkpath(Dest()));
        job->Settings.Backup.BackupType = btSync;
        RunBackup();
        c.arrange();
        RunBackup();
        EXPECT_TRUE(LogText().contains(u"Removing the full directory: "_s + JobFolder()));
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        ExpectOwnedByUs();
    }
}

TEST_F(JobFolderOwnerTest, ImportTakesAForeignFolderOver) {
    RunBackup();
    WriteFileBytes(OwnerPath(), OwnerFileOf(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    EXPECT_FALSE(RefuseForeignJobFolder(*job, JobFolder()).isEmpty());
    EXPECT_TRUE(TakeOverJobFolder(*job, JobFolder()));
    ExpectOwnedByUs();
    EXPECT_TRUE(RefuseForeignJobFolder(*job, JobFolder()).isEmpty());
}

} // namespace
} // namespace morvane
