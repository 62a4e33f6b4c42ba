#include "control/forwarded_commands.h"

#include "core/jobs_catalogue.h"
#include "fixtures/temp_home.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

namespace morvane {
namespace {

// The answers that come without starting the command-line tool.
class ForwardedCommandsTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        for (const QString& name : {QStringLiteral("Docs"), QStringLiteral("Photos")})
            catalogue.Append(std::make_unique<TJob_FilesAndFolders>(name));
    }
    TCommandAnswer Run(const QStringList& arguments) {
        std::optional<TCommandAnswer> answer;
        commands.Run(arguments, QString(), QByteArray(), [&answer](const TCommandAnswer& a) { answer = a; });
        // A tool that fails to start is reported from the event loop.
        QDeadlineTimer deadline(10000);
        while (!answer && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_TRUE(answer.has_value()) << arguments.join(u' ').toStdString();
        return answer.value_or(TCommandAnswer{-1, {}, {}});
    }
    TJobsCatalogue catalogue{QStringLiteral("/unused")};
    // A tool path that cannot start: nothing here may reach it.
    TForwardedCommands commands{catalogue, QStringLiteral("/nonexistent/morvane-cli")};
};

TEST_F(ForwardedCommandsTest, BackupQueuesAnIdleJobByNameAsTheToolFindsIt) {
    EXPECT_EQ(Run({QStringLiteral("backup"), QStringLiteral("photos")}).status, 0);
    EXPECT_EQ(catalogue.At(1).JobStatus, jsWaiting);
    const TCommandAnswer again = Run({QStringLiteral("backup"), QStringLiteral("Photos")});
    EXPECT_EQ(again.status, 1) << "a queued job is not queued twice";
    EXPECT_EQ(Run({QStringLiteral("backup"), QStringLiteral("Nope")}).status, 2);
    EXPECT_EQ(catalogue.At(0).JobStatus, jsNone);
}

TEST_F(ForwardedCommandsTest, NothingChangesTheJobsWhileOneIsBusyOrTheSchedulerIsAsked) {
    catalogue.At(0).JobStatus = jsRunning;
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("remove"), QStringLiteral("Photos")},
          QStringList{QStringLiteral("schedule"), QStringLiteral("Photos"), QStringLiteral("--off")},
          QStringList{QStringLiteral("run-scheduler")}}) {
        const TCommandAnswer answer = Run(arguments);
        EXPECT_EQ(answer.status, 1) << arguments.join(u' ').toStdString();
        EXPECT_FALSE(answer.errors.isEmpty());
    }
    EXPECT_FALSE(commands.JobsLent());
    EXPECT_EQ(catalogue.Count(), 2);
    catalogue.At(0).JobStatus = jsNone;
}

TEST_F(ForwardedCommandsTest, AToolThatCannotStartIsReportedAndTheJobsStay) {
    const TCommandAnswer answer = Run({QStringLiteral("remove"), QStringLiteral("Photos")});
    EXPECT_EQ(answer.status, 1);
    EXPECT_TRUE(answer.errors.contains(QStringLiteral("/nonexistent/morvane-cli")))
        << answer.errors.toStdString();
    EXPECT_FALSE(commands.JobsLent());
    EXPECT_EQ(catalogue.Count(), 2);
}

} // namespace
} // namespace morvane
