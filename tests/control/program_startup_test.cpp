#include "control/program_startup.h"

#include "core/jobs_catalogue.h"
#include "fixtures/temp_home.h"
#include "formats/events_log.h"
#include "options/options.h"
#include "platform/program_state.h"
#include "scripted_prompt.h"

#include <gtest/gtest.h>

#include <set>

namespace morvane {
namespace {

// Records each step by name; the answers are set by the test.
class RecordingEffects final : public IStartupEffects {
public:
    QStringList steps;
    bool directoriesOk = true;
    bool optionsFile = true;
    std::set<QString> existing;
    std::set<QString> uncreatable;
    bool jobsList = true;
    bool closeWhileCreatingWindows = false;
    std::optional<QString> password;

    bool PrepareApplicationDirectories(QString* errorBoxText) override {
        steps << QStringLiteral("directories");
        if (!directoriesOk)
            *errorBoxText = QStringLiteral("no application directory");
        return directoriesOk;
    }
    bool LoadOptions() override {
        steps << QStringLiteral("options");
        return optionsFile;
    }
    void ApplyDefaultOptions() override { steps << QStringLiteral("default options"); }
    bool FolderExists(const QString& path) override { return existing.count(path) > 0; }
    bool CreateFolder(const QString& path) override {
        steps << QStringLiteral("create ") + path;
        return uncreatable.count(path) == 0;
    }
    void ApplyProcessPriority(int priority) override { steps << QStringLiteral("priority %1").arg(priority); }
    bool LoadJobs() override {
        steps << QStringLiteral("jobs");
        return jobsList;
    }
    void CreateWindows() override {
        steps << QStringLiteral("windows");
        if (closeWhileCreatingWindows)
            Program().ClosingRequested = true;
    }
    void EnableScheduler() override { steps << QStringLiteral("scheduler"); }
    std::optional<QString> AskPassword() override {
        steps << QStringLiteral("password");
        return password;
    }
};

class ProgramStartupTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        Program().ClosingRequested = false;
        GlobalOptions() = DefaultOptions();
        GlobalOptions().General.PathForTempFiles = QStringLiteral("/t");
        GlobalOptions().Logging.PathForLogFiles = QStringLiteral("/l");
        GlobalOptions().General.ProcessPriority = 2;
    }
    void TearDown() override {
        Program().ClosingRequested = false;
        GlobalOptions() = DefaultOptions();
        TempHomeTest::TearDown();
    }
    bool Start(const QStringList& arguments) {
        TProgramStartup startup(effects, prompt, TCommandLine(arguments));
        return startup.Run();
    }
    RecordingEffects effects;
    test::ScriptedPrompt prompt;
};

TEST_F(ProgramStartupTest, RunsTheStepsInOrderAndReportsCreatedFolders) {
    EXPECT_TRUE(Start({}));
    EXPECT_EQ(effects.steps, QStringList({"directories", "options", "create /t", "create /l", "priority 2",
                                          "jobs", "windows"}));
    EXPECT_EQ(TakeEventTexts(), QStringList({"Temporary directory is created: /t",
                                             "Log directory is created: /l", "Backup jobs are loaded."}));
    EXPECT_TRUE(prompt.asked.isEmpty());
}

TEST_F(ProgramStartupTest, HiddenStartEnablesTheSchedulerAtOnceAndAsksNoPassword) {
    GlobalOptions().General.ProtectConfigurationbyPassword = true;
    effects.existing = {QStringLiteral("/t"), QStringLiteral("/l")};
    effects.optionsFile = false;
    effects.jobsList = false;
    EXPECT_TRUE(Start({QStringLiteral("/hide")}));
    EXPECT_EQ(effects.steps, QStringList({"directories", "options", "default options", "priority 2", "jobs",
                                          "windows", "scheduler"}));
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

TEST_F(ProgramStartupTest, UncreatableFoldersAreReportedAndTheProgramGoesOn) {
    effects.uncreatable = {QStringLiteral("/t"), QStringLiteral("/l")};
    EXPECT_TRUE(Start({}));
    EXPECT_EQ(TakeEventTexts(),
              QStringList({"ERROR: Unable to create temporary directory: /t",
                           "ERROR: Unable to create log directory: /l", "Backup jobs are loaded."}));
    ASSERT_EQ(prompt.asked.size(), 2);
    EXPECT_TRUE(
        prompt.asked[0].contains(QStringLiteral("ERROR: Unable to create temporary directory:/t\r\n\r\n")))
        << prompt.asked[0].toStdString();
    EXPECT_TRUE(prompt.asked[1].startsWith(QStringLiteral("Error: ERROR: Unable to create log directory:/l")))
        << prompt.asked[1].toStdString();
}

TEST_F(ProgramStartupTest, NoApplicationDirectoryEndsBeforeAnyWindow) {
    effects.directoriesOk = false;
    EXPECT_FALSE(Start({}));
    EXPECT_EQ(effects.steps, QStringList({"directories"}));
    EXPECT_EQ(prompt.asked, QStringList({"Error: no application directory"}));
    EXPECT_TRUE(Program().ClosingRequested);
}

TEST_F(ProgramStartupTest, ClosingDuringWindowCreationShowsNothing) {
    GlobalOptions().General.ProtectConfigurationbyPassword = true;
    effects.closeWhileCreatingWindows = true;
    EXPECT_FALSE(Start({}));
    EXPECT_FALSE(effects.steps.contains(QStringLiteral("password")));
}

struct TPasswordCase {
    const char* name;
    std::optional<QString> typed;
    bool admitted;
    bool invalidShown;
};

class StartupPasswordTest : public ProgramStartupTest, public ::testing::WithParamInterface<TPasswordCase> {};

TEST_P(StartupPasswordTest, ProtectedConfigurationAsksFirst) {
    GlobalOptions().General.ProtectConfigurationbyPassword = true;
    GlobalOptions().General.strProtectConfiguration_Password = QStringLiteral("Secret 1");
    effects.password = GetParam().typed;
    EXPECT_EQ(Start({}), GetParam().admitted);
    EXPECT_EQ(effects.steps.last(), QStringLiteral("password"));
    EXPECT_EQ(prompt.asked.contains(QStringLiteral("Error: Invalid password")), GetParam().invalidShown);
}

const TPasswordCase passwordCases[] = {
    {"Exact", QStringLiteral("Secret 1"), true, false},
    {"BlanksAtEndsIgnored", QStringLiteral("  Secret 1\t\n"), true, false},
    {"OtherCase", QStringLiteral("secret 1"), false, true},
    {"InnerBlanksCount", QStringLiteral("Secret  1"), false, true},
    {"Cancelled", std::nullopt, false, false},
};

INSTANTIATE_TEST_SUITE_P(Cases, StartupPasswordTest, ::testing::ValuesIn(passwordCases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

class RecordingActions final : public IFirstShowActions {
public:
    QStringList done;
    void StartRestore(TJob& job) override { done << QStringLiteral("restore ") + job.stJobName; }
    void RemoveWithoutConfirmation(int index) override { done << QStringLiteral("remove %1").arg(index); }
    void ImportJobFile(const QString& path) override { done << QStringLiteral("import ") + path; }
};

class FirstShowTest : public ProgramStartupTest {
protected:
    void SetUp() override {
        ProgramStartupTest::SetUp();
        for (const QString& name :
             {QStringLiteral("Docs"), QStringLiteral("Photos"), QStringLiteral("docs2")})
            catalogue.Append(std::make_unique<TJob_FilesAndFolders>(name));
    }
    QStringList Show(const QStringList& arguments, bool schedulerEnabled = false) {
        TFirstShow show(TCommandLine(arguments), catalogue, actions, effects);
        show.OnShow(schedulerEnabled);
        show.OnShow(schedulerEnabled); // later showings do nothing
        return actions.done;
    }
    TJobsCatalogue catalogue{QStringLiteral("/unused")};
    RecordingActions actions;
};

TEST_F(FirstShowTest, PerformsOneVerbByPriorityThenStartsTheScheduler) {
    EXPECT_EQ(Show({QStringLiteral("/backup"), QStringLiteral("Photos"), QStringLiteral("-RESTORE")}),
              QStringList({"restore Photos"}));
    EXPECT_EQ(catalogue.At(1).JobStatus, jsNone);
    EXPECT_EQ(effects.steps, QStringList({"scheduler"}));
}

TEST_F(FirstShowTest, BackupQueuesTheJobOfExactlyThatName) {
    EXPECT_TRUE(
        Show({QStringLiteral("/backup"), QStringLiteral("Docs"), QStringLiteral("/remove")}).isEmpty());
    EXPECT_EQ(catalogue.At(0).JobStatus, jsWaiting);
    Show({QStringLiteral("/backup"), QStringLiteral("photos")});
    EXPECT_EQ(catalogue.At(1).JobStatus, jsNone);
}

TEST_F(FirstShowTest, RemoveAndImportAndNothing) {
    EXPECT_EQ(Show({QStringLiteral("-remove"), QStringLiteral("docs2")}), QStringList({"remove 2"}));
    actions.done.clear();
    EXPECT_TRUE(Show({QStringLiteral("/remove"), QStringLiteral("DOCS2")}).isEmpty());
    EXPECT_EQ(Show({QStringLiteral("/home/a/x.bmj")}), QStringList({"import /home/a/x.bmj"}));
    actions.done.clear();
    EXPECT_TRUE(Show({QStringLiteral("/home/a/x.BMJ")}).isEmpty());
    effects.steps.clear();
    Show({}, true);
    EXPECT_TRUE(effects.steps.isEmpty()) << "an enabled scheduler is left as it is";
}

class FakeWindow final : public IMainWindowVisibility {
public:
    bool showing = false;
    int shown = 0;
    bool IsShowing() const override { return showing; }
    void ShowWindow() override {
        showing = true;
        ++shown;
    }
};

TEST_F(ProgramStartupTest, ShowingTheWindowAsksForThePasswordOnlyWhileHidden) {
    GlobalOptions().General.ProtectConfigurationbyPassword = true;
    GlobalOptions().General.strProtectConfiguration_Password = QStringLiteral("pw");
    FakeWindow window;
    TShowApplication show(window, effects, prompt);
    effects.password = QStringLiteral("wrong");
    EXPECT_FALSE(show.Show());
    EXPECT_EQ(window.shown, 0);
    effects.password = QStringLiteral("pw");
    EXPECT_TRUE(show.Show());
    EXPECT_TRUE(show.Show());
    EXPECT_EQ(window.shown, 1);
    EXPECT_EQ(effects.steps, QStringList({"password", "password"}));
}

} // namespace
} // namespace morvane
