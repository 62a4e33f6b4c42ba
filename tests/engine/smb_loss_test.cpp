// Backups to a network share whose server stops in the middle of a run and starts again later. With the
// pause policy the run waits and, once the server is back and the user resumes, goes on to a complete
// point; with the cancel policy it ends cancelled with the storage's error, and the next run completes.
// Either way the earlier point still restores as it was.

#include "engine/backup_fixture.h"
#include "fixtures/samba_server.h"

#include "options/options.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <chrono>
#include <functional>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::TreeContents;
using Tree = QMap<QString, QByteArray>;

using testing::WaitUntil;

class SmbServerLossTest : public testing::BackupTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        server = testing::SambaServer::Shared();
        if (!server)
            GTEST_SKIP() << "Samba server unavailable: "
                         << testing::SambaServer::StartFailure().toStdString();
        const QString folder = u"loss-"_s + QString::number(QRandomGenerator::global()->generate());
        served = server->ShareFolder() + u'/' + folder;
        ASSERT_TRUE(QDir().mkpath(served));
        job->DestinationPath = server->UncPath(folder);
        job->DestinationType = dtNetwork;
        job->Destination_NetworkUsername = server->User();
        job->Destination_NetworkPassword = server->Password();
        job->Settings.Backup.BackupType = btInc;
        TOptions& options = GlobalOptions();
        options.Processing.IfDestinationNotAvailable_Retry_Times = 1;
        options.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
        options.Processing.IfDestinationNotAvailable_Then = GetParam() ? 1 : 0;
    }

    void TearDown() override {
        if (server) {
            // Later tests of this program share the server.
            QString failure;
            EXPECT_TRUE(server->StartAgain(failure)) << failure.toStdString();
            if (!served.isEmpty())
                QDir(served).removeRecursively();
        }
        BackupTest::TearDown();
    }

    QString StartFlag() const { return served + u'/' + job->stJobName + u"/_startflag.qkl"_s; }

    void StartServerAgain() {
        QString failure;
        ASSERT_TRUE(server->StartAgain(failure)) << failure.toStdString();
    }

    testing::SambaServer* server = nullptr;
    QString served;
};

TEST_P(SmbServerLossTest, TheRunWaitsOrEndsAndTheNextRunRecoversWithNothingEarlierLost) {
    const bool pause = GetParam();
    job->Settings.Sources.List = {Source() + u"/*"_s};
    WriteSource(u"a.txt"_s, "first");
    WriteSource(u"docs/b.txt"_s, QByteArray(3000, 'b'));
    RunBackup();
    ASSERT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    const Tree first = TreeContents(Source());
    WriteSource(u"a.txt"_s, "second, longer", 60);
    for (int i = 0; i < 12; ++i)
        WriteSource(u"new/"_s + QString::number(i), QByteArray(24 * 1024, char('a' + i)), 60);

    // Held before its first source file, with its flag on the share; then the server goes.
    job->Backup();
    job->Pause();
    ASSERT_TRUE(WaitUntil([this] { return QFile::exists(StartFlag()); })) << LogText().toStdString();
    server->Kill();
    Resume();
    if (pause) {
        ASSERT_TRUE(WaitUntil([this] {
            return (job->JobStatus == jsPaused &&
                    job->CurrentFileOperationType == atNone_WaitingForReconnection) ||
                   job->JobStatus == jsNone;
        }));
        ASSERT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
        StartServerAgain();
        Resume();
        job->WaitForWorker();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_GT(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    } else {
        job->WaitForWorker();
        EXPECT_TRUE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_TRUE(
            LogText().contains(u"The job will be cancelled because destination is not accepting the file."_s))
            << LogText().toStdString();
        StartServerAgain();
        RunBackup();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    }
    EXPECT_FALSE(QFile::exists(StartFlag()));
    EXPECT_EQ(Restored(0), first);
    EXPECT_EQ(Restored(1), TreeContents(Source()));
}

INSTANTIATE_TEST_SUITE_P(Policies, SmbServerLossTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "Pause" : "Cancel");
                         });

} // namespace
} // namespace morvane
