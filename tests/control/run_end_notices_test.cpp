#include "control/run_end_notices.h"

#include "jobs/job.h"
#include "platform/desktop_notifications.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

class RecordingNotifications final : public IDesktopNotifications {
public:
    QStringList shown;
    void Notify(const QString& summary, const QString& body) override { shown << summary + u'|' + body; }
};

struct TEndCase {
    const char* name;
    TJobOperation operation;
    bool cancelled;
    int errors;
    int warnings;
    const char* expected; // empty: no notice
};

class RunEndNoticesTest : public ::testing::TestWithParam<TEndCase> {};

TEST_P(RunEndNoticesTest, ReportsARunThatEndedBadlyOnce) {
    const TEndCase& c = GetParam();
    RecordingNotifications notifications;
    TRunEndNotices notices(notifications);
    TJob_FilesAndFolders job(QStringLiteral("Docs"));
    const std::vector<TJob*> jobs{&job};
    notices.AfterTick(jobs);
    job.JobOperation = c.operation;
    job.JobStatus = jsRunning;
    notices.AfterTick(jobs);
    job.JobStatus = jsCancelling;
    notices.AfterTick(jobs);
    EXPECT_TRUE(notifications.shown.isEmpty());
    job.LastJobResult.Cancelled = c.cancelled;
    job.LastJobResult.ErrorsCount = c.errors;
    job.LastJobResult.WarningsCount = c.warnings;
    job.JobStatus = jsNone;
    notices.AfterTick(jobs);
    notices.AfterTick(jobs);
    const QStringList expected =
        *c.expected ? QStringList{QStringLiteral("Morvane Backup|") + QString::fromUtf8(c.expected)}
                    : QStringList{};
    EXPECT_EQ(notifications.shown, expected);
}

const TEndCase endCases[] = {
    {"Cancelled", joBackup, true, 0, 0, "Backup job \"Docs\" was cancelled."},
    {"CancelledWithErrors", joBackup, true, 3, 0, "Backup job \"Docs\" was cancelled."},
    {"Errors", joBackup, false, 1, 0, "Backup job \"Docs\" finished with errors."},
    {"WarningsOnly", joBackup, false, 0, 2, ""},
    {"Finished", joBackup, false, 0, 0, ""},
    {"RestoreIsNoBackupRun", joRestore, true, 1, 0, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, RunEndNoticesTest, ::testing::ValuesIn(endCases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RunEndNoticesIdleTest, AJobFoundIdleWithAnOldBadResultIsNotReported) {
    RecordingNotifications notifications;
    TRunEndNotices notices(notifications);
    TJob_FilesAndFolders job(QStringLiteral("Docs"));
    job.LastJobResult.Cancelled = true;
    notices.AfterTick({&job});
    job.JobStatus = jsWaiting;
    notices.AfterTick({&job});
    job.Cancel(); // taken off the queue before it ran
    notices.AfterTick({&job});
    EXPECT_TRUE(notifications.shown.isEmpty());
}

} // namespace
} // namespace morvane
