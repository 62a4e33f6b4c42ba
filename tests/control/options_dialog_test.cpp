#include "control/options_dialog.h"

#include "engine/backup_fixture.h"
#include "fixtures/temp_home.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/paths.h"
#include "platform/system_effects.h"
#include "process_events.h"
#include "scripted_prompt.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

const QString NoPassword = u"Please specify a password for configuration protection."_s;
const QString BadTemp = u"Please choose a correct path for the temporary files."_s;
const QString BadLog = u"Please choose a correct path for the log files."_s;
const QString SamePaths = u"Unable to set the same path for temporary files and log files."_s;

// Presses OK as the window does and waits for the folder checks' answer.
void PressOk(TOptionsDialog& dialog) {
    dialog.Ok();
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !dialog.Checking(); }));
}

// The options window as a user works it: edits the fields, presses OK (once, as often as the script
// says), and cancels when OK did not close it.
class ScriptedOptionsWindow final : public IOptionsWindow {
public:
    std::function<void(TOptionsDialog&)> edit;
    bool pressOk = true;
    int shown = 0;
    // The fields as each showing found them.
    QList<TOptionsFields> found;

    void ShowOptions(TOptionsDialog& dialog) override {
        ++shown;
        found.append(dialog.Fields);
        if (edit)
            edit(dialog);
        if (pressOk)
            PressOk(dialog);
        if (dialog.Tag() == 0)
            dialog.Cancel();
    }
};

// The bytes the options file would hold: every stored field, in order.
QByteArray Stored(const TOptions& options, const QString& path) {
    EXPECT_TRUE(SaveOptions(options, path));
    return testing::ReadFileBytes(path);
}

class OptionsDialogTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        temp = HomePath(u"work/temp"_s);
        logs = HomePath(u"work/logs"_s);
        ASSERT_TRUE(QDir().mkpath(temp));
        ASSERT_TRUE(QDir().mkpath(logs));
        options = DefaultOptions();
        options.General.PathForTempFiles = temp;
        options.Logging.PathForLogFiles = logs;
        options.General.RunProgramAtLogon = false;
    }

    QString temp;
    QString logs;
    TOptions options;
    test::ScriptedPrompt prompt;
};

// OK's checks in their order, each with its message; the window stays open (Tag 0) on any of them.
TEST_F(OptionsDialogTest, OkChecksInOrder) {
    ASSERT_TRUE(QDir().mkpath(HomePath(u"Same"_s)));
    ASSERT_TRUE(QDir().mkpath(HomePath(u"Same "_s)));
    ASSERT_TRUE(QDir().mkpath(HomePath(u"Backup"_s)));
    ASSERT_TRUE(QDir().mkpath(HomePath(u"backup"_s)));
    testing::WriteFileBytes(HomePath(u"a-file"_s), "x");
    struct Case {
        const char* name;
        bool protect;
        QString password;
        QString temp;
        QString log;
        QString message; // empty: accepted
    };
    const Case cases[] = {
        {"protection without a password comes first", true, {}, {}, {}, NoPassword},
        {"protection with a password", true, u"secret"_s, temp, logs, {}},
        {"a password without protection is no matter", false, {}, temp, logs, {}},
        {"no temporary folder", false, {}, {}, logs, BadTemp},
        {"temporary folder missing, its parent there", false, {}, HomePath(u"work/none"_s), logs, BadTemp},
        {"temporary path names a file", false, {}, HomePath(u"a-file"_s), logs, BadTemp},
        {"temporary path relative", false, {}, u"work/temp"_s, logs, BadTemp},
        {"both missing: the temporary folder is named",
         false,
         {},
         HomePath(u"x"_s),
         HomePath(u"y"_s),
         BadTemp},
        {"no log folder", false, {}, temp, {}, BadLog},
        {"log folder missing", false, {}, temp, HomePath(u"work/none"_s), BadLog},
        {"the same folder twice", false, {}, temp, temp, SamePaths},
        {"the same folder, once with a blank after it",
         false,
         {},
         HomePath(u"Same"_s),
         HomePath(u"Same "_s),
         SamePaths},
        {"names differing in case are different folders",
         false,
         {},
         HomePath(u"Backup"_s),
         HomePath(u"backup"_s),
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TOptionsDialog dialog(prompt);
        dialog.OptionsToControls(options);
        dialog.Fields.ProtectByPassword = c.protect;
        dialog.ProtectionPassword = c.password;
        dialog.Fields.PathForTempFiles = c.temp;
        dialog.Fields.PathForLogFiles = c.log;
        prompt.asked.clear();
        PressOk(dialog);
        EXPECT_EQ(dialog.Tag(), c.message.isEmpty() ? 1 : 0);
        EXPECT_EQ(prompt.asked, c.message.isEmpty() ? QStringList() : QStringList{u"Error: "_s + c.message});
    }
}

// A check still looking at the folders when the window is cancelled reports nothing afterwards, and a
// new showing starts at Tag 0.
TEST_F(OptionsDialogTest, CancelDropsAPendingCheck) {
    TOptionsDialog dialog(prompt);
    int accepted = 0;
    QObject::connect(&dialog, &TOptionsDialog::Accepted, [&] { ++accepted; });
    dialog.OptionsToControls(options);
    dialog.Fields.PathForLogFiles = HomePath(u"missing"_s);
    dialog.Ok();
    ASSERT_TRUE(dialog.Checking());
    dialog.Cancel();
    EXPECT_FALSE(dialog.Checking());
    QCoreApplication::processEvents();
    // The worker's answer, if it comes at all, finds nobody waiting for it.
    TOptionsDialog later(prompt);
    later.OptionsToControls(options);
    PressOk(later);
    EXPECT_EQ(later.Tag(), 1);
    EXPECT_EQ(dialog.Tag(), 0);
    EXPECT_EQ(accepted, 0);
    EXPECT_TRUE(prompt.asked.isEmpty());

    dialog.OptionsToControls(options);
    PressOk(dialog);
    EXPECT_EQ(dialog.Tag(), 1);
    dialog.OptionsToControls(options);
    EXPECT_EQ(dialog.Tag(), 0);
}

TEST_F(OptionsDialogTest, PasswordControlsFollowTheProtectionBox) {
    options.General.ProtectConfigurationbyPassword = true;
    options.General.strProtectConfiguration_Password = u"kept"_s;
    TOptionsDialog dialog(prompt);
    dialog.OptionsToControls(options);
    EXPECT_TRUE(dialog.PasswordControlsEnabled());
    EXPECT_EQ(dialog.ProtectionPassword, u"kept"_s);
    EXPECT_EQ(dialog.PasswordStatusText(), u"Password is set"_s);
    dialog.Fields.ProtectByPassword = false;
    EXPECT_FALSE(dialog.PasswordControlsEnabled());
    dialog.ProtectionPassword.clear();
    EXPECT_EQ(dialog.PasswordStatusText(), u"Password is not set"_s);
}

TEST_F(OptionsDialogTest, FolderChoosersReplaceThePathsOnlyWhenAFolderIsChosen) {
    TOptionsDialog dialog(prompt);
    dialog.OptionsToControls(options);
    prompt.Push(HomePath(u"chosen"_s));
    EXPECT_TRUE(dialog.ChooseTempFolder());
    prompt.Cancel();
    EXPECT_FALSE(dialog.ChooseLogFolder());
    EXPECT_EQ(dialog.Fields.PathForTempFiles, HomePath(u"chosen"_s));
    EXPECT_EQ(dialog.Fields.PathForLogFiles, logs);
    EXPECT_EQ(prompt.asked, (QStringList{u"ChooseFolder: Choose a folder for the temporary files"_s,
                                         u"ChooseFolder: Choose a folder for the log files"_s}));
}

TEST(OptionsDialogCaptions, InternalFilesCaptionNamesBothExtensionsWithOneDot) {
    EXPECT_TRUE(TOptionsDialog::InternalFilesCaption().endsWith(u"(*.bmj, *.qkl)"_s))
        << TOptionsDialog::InternalFilesCaption().toStdString();
}

// Every stored field goes to its control and back to its own option.
TEST_F(OptionsDialogTest, FieldsGoBackToTheOptionsTheyCameFrom) {
    TOptions edited = options;
    TGeneralOptions& g = edited.General;
    g.RunProgramAtLogon = true;
    g.BlockSleepModeifJobIsScheduled = false;
    g.ProtectConfigurationbyPassword = true;
    g.strProtectConfiguration_Password = u"pw"_s;
    g.ProcessPriority = 3;
    g.PathForTempFiles = u"/t"_s;
    edited.Logging = {11, 12, 13, true, u"/l"_s};
    TProcessingOptions& p = edited.Processing;
    p.RunOnlyOneJobAtATime = true;
    p.IfDestinationNotAvailable_Retry_Times = 21;
    p.IfDestinationNotAvailable_Wait_Sec = -22;
    p.IfDestinationNotAvailable_Then = 1;
    p.PreventOtherAppsFromWritingDuringZipping = true;
    p.RemovePreviousBackupIfCancelled = false;
    p.DontUseBufferingForCopyOperations = true;
    p.SkipHiddenSystemFiles = false;
    p.SkipLockedFiles = true;
    edited.ExcludedDirs = {u"/a"_s, u"%anypath%/node_modules"_s};

    TOptionsDialog dialog(prompt);
    dialog.OptionsToControls(edited);
    TOptions copied = DefaultOptions();
    copied.Language = edited.Language;
    dialog.ControlsToOptions(copied);
    EXPECT_EQ(Stored(copied, HomePath(u"copied.qko"_s)), Stored(edited, HomePath(u"edited.qko"_s)));
}

// The folder list keeps every line as typed, blank ones included, and shows the entries one per line.
TEST_F(OptionsDialogTest, ExcludedFoldersKeepBlankLines) {
    TOptionsDialog dialog(prompt);
    options.ExcludedDirs = {u"old"_s};
    dialog.OptionsToControls(options);
    EXPECT_EQ(dialog.Fields.ExcludedFolders, u"old"_s);
    dialog.Fields.ExcludedFolders = u"%anypath%/node_modules\n\n /Some Dir \n"_s;
    dialog.ControlsToOptions(options);
    EXPECT_EQ(options.ExcludedDirs,
              (QStringList{u"%anypath%/node_modules"_s, QString(), u" /Some Dir "_s, QString()}));
    dialog.OptionsToControls(options);
    EXPECT_EQ(dialog.Fields.ExcludedFolders, u"%anypath%/node_modules\n\n /Some Dir \n"_s);
    dialog.Fields.ExcludedFolders.clear();
    dialog.ControlsToOptions(options);
    EXPECT_TRUE(options.ExcludedDirs.isEmpty());
}

class OptionsCommandTest : public OptionsDialogTest {
protected:
    void SetUp() override {
        OptionsDialogTest::SetUp();
        GlobalOptions() = options;
    }
    QString EntryText() const { return QString::fromUtf8(testing::ReadFileBytes(AutorunEntryPath())); }
    ScriptedOptionsWindow window;
    TOptionsCommand command{window, prompt, SystemOptionsEffects(), GlobalOptions()};
};

// Cancel, even after edits and a refused OK, leaves the options, the autostart entry and the file.
TEST_F(OptionsCommandTest, CancelChangesNothing) {
    const QByteArray before = Stored(GlobalOptions(), HomePath(u"before.qko"_s));
    window.edit = [&](TOptionsDialog& dialog) {
        dialog.Fields.RunProgramAtLogon = true;
        dialog.Fields.LogsPerJob = 99;
        dialog.Fields.ExcludedFolders = u"/x"_s;
        dialog.Fields.PathForTempFiles = HomePath(u"missing"_s);
    };
    EXPECT_FALSE(command.Run());
    window.pressOk = false;
    window.edit = [](TOptionsDialog& dialog) {
        dialog.Fields.RunOnlyOneJobAtATime = true;
    };
    EXPECT_FALSE(command.Run());
    EXPECT_EQ(prompt.asked, QStringList{u"Error: "_s + BadTemp});
    EXPECT_EQ(Stored(GlobalOptions(), HomePath(u"after.qko"_s)), before);
    EXPECT_FALSE(QFileInfo::exists(OptionsFilePath()));
    EXPECT_FALSE(QFileInfo::exists(AutorunEntryPath()));
    // Each showing starts from the options, not from what the last one left.
    EXPECT_EQ(window.found.value(1).LogsPerJob, options.Logging.MaxNumberOfLogsForEachJob);
}

// OK takes the fields over, writes the autostart entry when autorun is switched on and removes it when
// switched off, and saves the options file.
TEST_F(OptionsCommandTest, OkAppliesAutorunAndSavesTheFile) {
    window.edit = [](TOptionsDialog& dialog) {
        dialog.Fields.RunProgramAtLogon = true;
        dialog.Fields.LinesInEventsLog = 7;
        dialog.Fields.ExcludedFolders = u"/a\n\n/b"_s;
    };
    ASSERT_TRUE(command.Run());
    EXPECT_TRUE(GlobalOptions().General.RunProgramAtLogon);
    EXPECT_EQ(GlobalOptions().Logging.MaxNumberOfLinesInEventsLog, 7);
    EXPECT_TRUE(EntryText().contains(u"/hide"_s)) << EntryText().toStdString();
    TOptions loaded = DefaultOptions();
    ASSERT_TRUE(LoadOptions(loaded));
    EXPECT_EQ(Stored(loaded, HomePath(u"loaded.qko"_s)), Stored(GlobalOptions(), HomePath(u"global.qko"_s)));
    EXPECT_EQ(loaded.ExcludedDirs, (QStringList{u"/a"_s, QString(), u"/b"_s}));

    window.edit = [](TOptionsDialog& dialog) {
        dialog.Fields.RunProgramAtLogon = false;
    };
    ASSERT_TRUE(command.Run());
    EXPECT_FALSE(QFileInfo::exists(AutorunEntryPath()));
    ASSERT_TRUE(LoadOptions(loaded));
    EXPECT_FALSE(loaded.General.RunProgramAtLogon);
    EXPECT_TRUE(prompt.asked.isEmpty()) << prompt.asked.join(u'\n').toStdString();
}

// An autostart entry that cannot be changed: the option keeps its value (and the next showing shows
// it), the message names the entry, and the other changes are kept and saved.
TEST_F(OptionsCommandTest, FailedAutorunChangeKeepsTheOldValue) {
    const QString message = u"Error: Unable to change the autorun option. Make sure you can write the "
                            u"autostart entry:\r\n\r\n"_s +
                            AutorunEntryPath();
    // A file where the autostart folder belongs: the entry cannot be written.
    testing::WriteFileBytes(QFileInfo(AutorunEntryPath()).path(), "in the way");
    window.edit = [](TOptionsDialog& dialog) {
        dialog.Fields.RunProgramAtLogon = true;
        dialog.Fields.RetryTimes = 3;
    };
    ASSERT_TRUE(command.Run());
    EXPECT_EQ(prompt.asked, QStringList{message});
    EXPECT_FALSE(GlobalOptions().General.RunProgramAtLogon);
    EXPECT_EQ(GlobalOptions().Processing.IfDestinationNotAvailable_Retry_Times, 3);
    TOptions loaded = DefaultOptions();
    ASSERT_TRUE(LoadOptions(loaded));
    EXPECT_FALSE(loaded.General.RunProgramAtLogon);
    EXPECT_EQ(loaded.Processing.IfDestinationNotAvailable_Retry_Times, 3);

    // Switching it off while the entry cannot be removed.
    ASSERT_TRUE(QFile::remove(QFileInfo(AutorunEntryPath()).path()));
    GlobalOptions().General.RunProgramAtLogon = true;
    ASSERT_TRUE(QDir().mkpath(JoinPath(AutorunEntryPath(), u"blocker"_s)));
    prompt.asked.clear();
    window.edit = [](TOptionsDialog& dialog) {
        dialog.Fields.RunProgramAtLogon = false;
    };
    ASSERT_TRUE(command.Run());
    EXPECT_EQ(prompt.asked, QStringList{message});
    EXPECT_TRUE(GlobalOptions().General.RunProgramAtLogon);
    window.edit = nullptr;
    window.pressOk = false;
    command.Run();
    EXPECT_TRUE(window.found.last().RunProgramAtLogon);
}

// The process priority is applied when it changed. Lowering it cannot be undone without privileges,
// so the command runs in a child process of its own; a value no class stands for changes nothing.
TEST_F(OptionsCommandTest, PriorityIsAppliedWhenChanged) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const QString home = HomePath(QString());
            errno = 0;
            const int before = ::getpriority(PRIO_PROCESS, 0);
            window.edit = [](TOptionsDialog& dialog) {
                dialog.Fields.ProcessPriority = 7;
            };
            const bool first = command.Run();
            const int unchanged = ::getpriority(PRIO_PROCESS, 0);
            window.edit = [](TOptionsDialog& dialog) {
                dialog.Fields.ProcessPriority = 0;
            };
            const bool second = command.Run();
            const int lowered = ::getpriority(PRIO_PROCESS, 0);
            QDir(home).removeRecursively();
            std::exit(!first || !second ? 1 : unchanged != before ? 2 : lowered != 19 ? 3 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

// A job that is running keeps the options it started with; the change reaches its next run.
class OptionsDuringARunTest : public testing::BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        WriteSource(u"Documents/a.txt"_s, "a");
        job->Settings.Sources.List = {Source(u"Documents/*"_s)};
        job->Settings.Backup.BackupType = btSync;
        // A file where the mirror's folder must go: the storage refuses every copy.
        ASSERT_TRUE(QDir().mkpath(JobFolder()));
        testing::WriteFileBytes(JobFolder() + u"/Documents"_s, "in the way");
        ASSERT_TRUE(QDir().mkpath(HomePath(u"temp"_s)));
        GlobalOptions().General.PathForTempFiles = HomePath(u"temp"_s);
        GlobalOptions().Logging.PathForLogFiles = HomePath(u"Documents"_s);
        GlobalOptions().General.RunProgramAtLogon = false;
        GlobalOptions().Processing.IfDestinationNotAvailable_Then = 1; // pause and wait
    }
};

TEST_F(OptionsDuringARunTest, ARunningJobKeepsItsCopy) {
    StartAndWaitUntilPaused();
    ASSERT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();

    test::ScriptedPrompt prompt;
    ScriptedOptionsWindow window;
    // From "pause and wait" to "cancel the job".
    window.edit = [](TOptionsDialog& dialog) {
        dialog.Fields.Then = 0;
    };
    TOptionsCommand command(window, prompt, SystemOptionsEffects(), GlobalOptions());
    ASSERT_TRUE(command.Run());
    ASSERT_EQ(GlobalOptions().Processing.IfDestinationNotAvailable_Then, 0);

    // The storage still refuses: the run follows the value it started with and pauses again, where
    // the new one would have cancelled it.
    Resume();
    for (int i = 0; i < 3000 && job->JobStatus == jsRunning; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
    job->Cancel();
    job->WaitForWorker();

    EXPECT_EQ(job->JobOptions.Processing.IfDestinationNotAvailable_Then, 1);

    // The next run takes its copy afresh.
    RunBackup();
    EXPECT_EQ(job->JobOptions.Processing.IfDestinationNotAvailable_Then, 0);
}

} // namespace
} // namespace morvane
