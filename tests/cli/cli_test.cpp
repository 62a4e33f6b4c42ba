// The real morvane-cli executable against a real application directory in a temporary home.

#include "cli/cli_job_fixture.h"
#include "core/jobs_catalogue.h"
#include "fixtures/sample_jobs.h"
#include "platform/settings_store.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;

class CliTest : public testing::CliJobTest {
protected:
    void CatalogueTwoJobs() {
        TJobsCatalogue catalogue(AppDir());
        auto docs = testing::SampleFilesJob(u"Docs"_s);
        docs->LastJobResult.Cancelled = false;
        docs->LastJobResult.ErrorsCount = 0;
        docs->LastJobResult.WarningsCount = 0;
        ASSERT_TRUE(docs->SaveLocalJobFile(catalogue.JobFilePath(u"Docs"_s)));
        catalogue.Append(std::move(docs));
        auto system = std::make_unique<TJob_DriveImage>(u"System"_s);
        system->DestinationPath = u"/media/usb"_s;
        ASSERT_TRUE(system->SaveLocalJobFile(catalogue.JobFilePath(u"System"_s)));
        catalogue.Append(std::move(system));
        ASSERT_TRUE(catalogue.SaveJobsList());
    }
};

TEST_F(CliTest, ListShowsOneLinePerJob) {
    CatalogueTwoJobs();
    const CliRun run = Run({u"list"_s});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(u"Docs\tFiles and folders\t//nas.local/backup/Ünïcødé\tFinished on "_s))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], u"System\tDrive image\t/media/usb\tNever started");
}

TEST_F(CliTest, ListOfAnEmptyCatalogueIsEmpty) {
    const CliRun run = Run({u"list"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
}

TEST_F(CliTest, ShowPrintsTheJobAsJsonWithoutThePassword) {
    CatalogueTwoJobs();
    const CliRun run = Run({u"show"_s, u"Docs"_s, u"--json"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
    EXPECT_EQ(json[u"Settings"_s].toObject()[u"Backup"_s].toObject()[u"BackupType"_s].toString(), u"btFull");
    EXPECT_EQ(json[u"Destination_NetworkPassword"_s].toString(), u"set");
    EXPECT_FALSE(run.out.contains(u"p@ss"_s));
}

TEST_F(CliTest, ErrorsHaveTheirOwnExitStatus) {
    CatalogueTwoJobs();
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {{u"show"_s, u"Nope"_s, u"--json"_s}, 2, "Job \"Nope\" is not found."},
        {{}, 64, "Usage:"},
        {{u"frobnicate"_s}, 64, "Unknown command: frobnicate"},
        {{u"show"_s, u"Docs"_s}, 64, "show takes a job name and --json."},
        {{u"list"_s, u"extra"_s}, 64, "list takes no arguments."},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.message;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.message))) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << c.message;
    }
}

TEST_F(CliTest, InformationSwitchesPrintToStdoutAndSucceed) {
    struct Case {
        QString argument;
        QStringList expected;
    };
    const Case cases[] = {
        {u"--help"_s, {u"Usage:"_s, u"morvane-cli restore NAME --to DIR"_s, u"morvane-cli run-scheduler"_s}},
        {u"-h"_s, {u"Usage:"_s, u"morvane-cli backup NAME"_s}},
        {u"--version"_s, {u"morvane-cli "_s + QStringLiteral(MORVANE_VERSION) + u'\n'}},
    };
    for (const Case& c : cases) {
        const CliRun run = Run({c.argument});
        EXPECT_EQ(run.exitCode, 0) << c.argument.toStdString();
        for (const QString& text : c.expected)
            EXPECT_TRUE(run.out.contains(text)) << c.argument.toStdString() << ": " << run.out.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    }
}

TEST_F(CliTest, DamagedJobFileIsReportedAndLeftOut) {
    CatalogueTwoJobs();
    testing::WriteFileBytes(AppDir() + u"/System.qkd"_s, "x");
    const CliRun run = Run({u"list"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.out.contains(u"System"_s));
    EXPECT_TRUE(run.err.contains(u"Code: 1"_s)) << run.err.toStdString();
}

TEST_F(CliTest, TextsFollowTheChosenInterfaceLanguage) {
    CatalogueTwoJobs();
    ASSERT_TRUE(SettingsStore().WriteString(u"CurrentLanguage"_s, u"de"_s));
    const CliRun run = Run({u"list"_s});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains(u"System\tLaufwerksabbild\t/media/usb\tNie gestartet"_s))
        << run.out.toStdString();
    EXPECT_TRUE(
        Run({u"show"_s, u"Nope"_s, u"--json"_s}).err.contains(u"Auftrag \"Nope\" wurde nicht gefunden."_s));
}

// The run itself is tested with the imaging tool; here the command line starts it and reports its end.
TEST_F(CliTest, BackupRunsADriveImageJobAndRestoreRefersToRecovery) {
    CatalogueTwoJobs();
    const CliRun backup = Run({u"backup"_s, u"System"_s});
    EXPECT_EQ(backup.exitCode, 2) << backup.out.toStdString() << backup.err.toStdString();
    EXPECT_TRUE(backup.out.contains(u"\"System\" backup is cancelled:"_s)) << backup.out.toStdString();
    EXPECT_TRUE(backup.out.contains(u"/media/usb"_s)) << backup.out.toStdString();
    const CliRun restore = Run({u"restore"_s, u"System"_s, u"--to"_s, HomePath(u"out"_s), u"--latest"_s});
    EXPECT_EQ(restore.exitCode, 2);
    EXPECT_TRUE(restore.err.contains(u"\"System\" is a drive-image job"_s)) << restore.err.toStdString();
}

} // namespace
} // namespace morvane
