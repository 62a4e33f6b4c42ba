// The window's catalogue commands with a scripted user: import, duplicate, rename and remove.

#include "control/main_commands.h"

#include "core/job_commands.h"
#include "fixtures/temp_home.h"
#include "options/options.h"
#include "scripted_prompt.h"
#include "silent_windows.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

const QString Refusal =
    u"Unable to complete the action at the moment. Please try again in several seconds."_s;

// Answers the import dialog from the test and records the path it opened with.
struct ScriptedImportDialog final : IImportDialog {
    std::optional<TImportChoice> answer;
    QStringList opened;
    std::optional<TImportChoice> AskImport(const QString& defaultPath) override {
        opened.append(defaultPath);
        return answer;
    }
};

class MainJobCommandsTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        TOptions& options = GlobalOptions();
        options = DefaultOptions();
        options.Processing.IfDestinationNotAvailable_Retry_Times = 0;
        options.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
        options.Logging.PathForLogFiles = HomePath(u"logs"_s);
        testing::WriteFileBytes(HomePath(u"src/a.txt"_s), "a");
        ASSERT_TRUE(QDir().mkpath(HomePath(u"dest"_s)));
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
        TNewFilesJobSettings settings;
        settings.Sources = {HomePath(u"src"_s)};
        settings.Destination = HomePath(u"dest"_s);
        job = static_cast<TJob_FilesAndFolders*>(
            CreateFilesJob(*catalogue, u"Docs"_s, u"Docs"_s, settings).Job);
        ASSERT_NE(job, nullptr);
        commands = std::make_unique<TMainCommands>(*catalogue, prompt, viewer, restoreDialogs, guidance,
                                                   [this] { return busy; });
        commands->SetImportDialog(&importDialog);
        QObject::connect(commands.get(), &TMainCommands::CatalogueChanged,
                         [this](int row) { changed << row; });
        QObject::connect(commands.get(), &TMainCommands::CatalogueCommandDone, [this] { ++done; });
        TakeEventTexts();
    }
    void TearDown() override {
        commands.reset();
        catalogue.reset();
        TempHomeTest::TearDown();
    }

    void BackUp() {
        job->Backup();
        job->WaitForWorker();
        ASSERT_EQ(job->LastJobResult.ErrorsCount, 0) << job->LastJobResult.Log.join(u'\n').toStdString();
        TakeEventTexts();
    }
    // Runs the event loop until a command that went to a worker has come back; the deadline only keeps
    // a broken flow from hanging the run.
    bool WaitForCommand() {
        QDeadlineTimer deadline(60000);
        while (done == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done == 1;
    }
    QStringList DestFolders() const {
        return QDir(HomePath(u"dest"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    test::ScriptedPrompt prompt;
    ScriptedImportDialog importDialog;
    test::NoViewer viewer;
    test::NoRestoreDialogs restoreDialogs;
    test::NoGuidance guidance;
    bool busy = false;
    std::unique_ptr<TJobsCatalogue> catalogue;
    TJob_FilesAndFolders* job = nullptr;
    std::unique_ptr<TMainCommands> commands;
    QList<int> changed;
    int done = 0;
};

TEST_F(MainJobCommandsTest, DuplicateAsksForANameAndAddsTheCopy) {
    using Answer = test::ScriptedPrompt::Answer;
    struct Case {
        const char* what;
        Answer answer;
        QStringList asked;
        QString added; // empty: no job added
    };
    const QString ask = u"AskText: Duplicate"_s;
    const Case cases[] = {
        {"cancelled", std::monostate{}, {ask}, {}},
        {"blank", u"   "_s, {ask}, {}},
        {"taken",
         u" docs"_s,
         {ask, u"Error: Job \" docs\" already exists. Please specify another name."_s},
         {}},
        {"forbidden",
         u"a|b"_s,
         {ask, u"Error: The following symbols are not allowed in the title:\r\n\r\n<>:\"/\\|?*"_s},
         {}},
        {"proposed", u"Docs (Duplicated)"_s, {ask}, u"Docs (Duplicated)"_s},
        {"typed", u" Copy "_s, {ask}, u"Copy"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        prompt.asked.clear();
        prompt.proposed.clear();
        changed.clear();
        const int before = catalogue->Count();
        prompt.Push(c.answer);
        commands->Duplicate(0);
        EXPECT_EQ(prompt.asked, c.asked);
        // The next free name is proposed, also once the first one is taken.
        EXPECT_EQ(prompt.proposed,
                  QStringList{before == 1 ? u"Docs (Duplicated)"_s : u"Docs (Duplicated 2)"_s});
        if (c.added.isEmpty()) {
            EXPECT_EQ(catalogue->Count(), before);
            EXPECT_TRUE(changed.isEmpty());
            continue;
        }
        ASSERT_EQ(catalogue->Count(), before + 1);
        EXPECT_EQ(catalogue->At(before).stJobName, c.added);
        EXPECT_EQ(changed, QList<int>{before});
        EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(c.added)));
    }

    prompt.asked.clear();
    job->JobStatus = jsWaiting;
    commands->Duplicate(0);
    EXPECT_EQ(prompt.asked, QStringList{u"Message: "_s + Refusal});
    job->JobStatus = jsNone;

    // While the scheduler or a command-line tool has the jobs, the answer is not acted on.
    const int before = catalogue->Count();
    prompt.asked.clear();
    busy = true;
    prompt.Push(u"Later"_s);
    commands->Duplicate(0);
    EXPECT_EQ(prompt.asked, (QStringList{u"AskText: Duplicate"_s, u"Message: "_s + Refusal}));
    EXPECT_EQ(catalogue->Count(), before);
    busy = false;
}

// With the job wizard at hand, a files-and-folders job's copy is made there from the job's settings.
TEST_F(MainJobCommandsTest, DuplicateOfAFilesJobGoesThroughTheWizard) {
    QStringList edited;
    int answer = -1;
    commands->SetFilesDuplicateEditor(
        [&](const TJob_FilesAndFolders& source, const QString& name, const QString& typed) {
            edited.append(source.stJobName + u'|' + name + u'|' + typed);
            return answer;
        });
    prompt.Push(u" Copy "_s);
    commands->Duplicate(0); // the wizard is cancelled
    EXPECT_EQ(edited, QStringList{u"Docs|Copy| Copy "_s});
    EXPECT_TRUE(changed.isEmpty());
    answer = 1;
    prompt.Push(u"Copy"_s);
    commands->Duplicate(0);
    EXPECT_EQ(changed, QList<int>{1});
    EXPECT_EQ(catalogue->Count(), 1) << "the wizard adds the job, not the command";
}

TEST_F(MainJobCommandsTest, RenameAsksThenRenamesOnAWorker) {
    BackUp();
    struct Case {
        const char* what;
        test::ScriptedPrompt::Answer answer;
        bool schedulerBusy;
        QString shown; // the message after the question, if any
    };
    const Case refusals[] = {
        {"cancelled", std::monostate{}, false, {}},
        {"own name", u"Docs "_s, false, {}},
        {"case only", u"DOCS"_s, false,
         u"Error: Job \"DOCS\" already exists. Please specify another name."_s},
        {"scheduler busy", u"Papers"_s, true, u"Message: "_s + Refusal},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.what);
        prompt.asked.clear();
        prompt.proposed.clear();
        busy = c.schedulerBusy;
        prompt.Push(c.answer);
        commands->Rename(0);
        QStringList asked{u"AskText: Rename Job"_s};
        if (!c.shown.isEmpty())
            asked << c.shown;
        EXPECT_EQ(prompt.asked, asked);
        EXPECT_EQ(prompt.proposed, QStringList{u"Docs"_s});
        EXPECT_EQ(job->stJobName, u"Docs"_s);
        EXPECT_EQ(job->JobStatus, jsNone);
    }
    busy = false;
    EXPECT_EQ(DestFolders(), QStringList{u"Docs"_s});

    prompt.asked.clear();
    prompt.Push(u"Papers"_s);
    commands->Rename(0);
    // The job shows running until its name has changed, so nothing else starts on it meanwhile.
    EXPECT_EQ(job->JobStatus, jsRunning);
    EXPECT_EQ(job->JobOperation, joRename);
    ASSERT_TRUE(WaitForCommand());
    EXPECT_EQ(prompt.asked, QStringList{u"AskText: Rename Job"_s});
    EXPECT_EQ(job->stJobName, u"Papers"_s);
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_EQ(DestFolders(), QStringList{u"Papers"_s});
    EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Papers"_s)));
    EXPECT_TRUE(TakeEventTexts().contains(u"Job \"Docs\" is renamed to \"Papers\"."_s));
    EXPECT_EQ(changed, QList<int>{-1});

    // A rename that fails on the storage shows the message and keeps the name.
    done = 0;
    ASSERT_TRUE(QDir().mkpath(HomePath(u"dest/Letters/kept"_s)));
    prompt.asked.clear();
    prompt.Push(u"Letters"_s);
    commands->Rename(0);
    ASSERT_TRUE(WaitForCommand());
    EXPECT_EQ(
        prompt.asked,
        (QStringList{
            u"AskText: Rename Job"_s,
            u"Error: Unable to rename the job. Please learn last error messages in the Events log."_s}));
    EXPECT_EQ(job->stJobName, u"Papers"_s);
    EXPECT_EQ(job->JobStatus, jsNone);
}

TEST_F(MainJobCommandsTest, RemoveAsksForTheRecordThenForTheBackups) {
    BackUp();
    const QString first = u"Confirm: Remove the record for backup job Docs?"_s;
    const QString second = u"Confirm: Do you want also to remove the backup folder with all its contents?"_s;

    struct Case {
        const char* what;
        QList<bool> answers;
        bool schedulerBusy;
        QStringList asked;
    };
    const Case kept[] = {
        {"no", {false}, false, {first}},
        {"scheduler busy", {true}, true, {first, u"Message: "_s + Refusal}},
    };
    for (const Case& c : kept) {
        SCOPED_TRACE(c.what);
        prompt.asked.clear();
        busy = c.schedulerBusy;
        for (const bool answer : c.answers)
            prompt.Push(answer);
        commands->Remove(0);
        EXPECT_EQ(prompt.asked, c.asked);
        EXPECT_EQ(catalogue->Count(), 1);
    }
    busy = false;

    // Without the backups: the record goes at once and the folder stays.
    TNewFilesJobSettings settings;
    settings.Sources = {HomePath(u"src"_s)};
    settings.Destination = HomePath(u"dest"_s);
    ASSERT_EQ(CreateFilesJob(*catalogue, u"Other"_s, u"Other"_s, settings).Outcome, JobCommandOutcome::Done);
    prompt.asked.clear();
    prompt.Push(true);
    prompt.Push(false);
    commands->Remove(1);
    EXPECT_EQ(prompt.asked, (QStringList{u"Confirm: Remove the record for backup job Other?"_s, second}));
    ASSERT_EQ(catalogue->Count(), 1);
    EXPECT_EQ(changed, QList<int>{0});
    EXPECT_FALSE(QFile::exists(catalogue->JobFilePath(u"Other"_s)));

    // With them: the folder goes on the job's worker, then the record.
    changed.clear();
    prompt.asked.clear();
    prompt.Push(true);
    prompt.Push(true);
    commands->Remove(0);
    EXPECT_EQ(catalogue->Count(), 1) << "the record stays until the folder is gone";
    ASSERT_TRUE(WaitForCommand());
    EXPECT_EQ(prompt.asked, (QStringList{first, second}));
    EXPECT_EQ(catalogue->Count(), 0);
    EXPECT_EQ(changed, QList<int>{-1});
    EXPECT_TRUE(DestFolders().isEmpty());
    EXPECT_FALSE(QFile::exists(HomePath(u"dest/Docs.bmj"_s)));
    const QStringList events = TakeEventTexts();
    EXPECT_TRUE(events.contains(u"The backup folder has been removed successfully on the storage device."_s));
    EXPECT_TRUE(events.contains(u"Job is removed."_s));
}

TEST_F(MainJobCommandsTest, RemovalWithUnreachableBackupsSaysSoAndDropsTheRecord) {
    job->DestinationPath = HomePath(u"no-such-drive"_s);
    prompt.Push(true);
    prompt.Push(true);
    commands->Remove(0);
    ASSERT_TRUE(WaitForCommand());
    EXPECT_EQ(prompt.asked.last(), u"Error: Unable to remove the backup folder.\r\n\r\n"
                                   u"Make sure the storage device is connected. Then remove it manually"_s);
    EXPECT_EQ(catalogue->Count(), 0);
}

TEST_F(MainJobCommandsTest, ImportReadsTheStorageCopyOfARealBackup) {
    BackUp();
    const QString copy = HomePath(u"dest/Docs.bmj"_s);
    ASSERT_TRUE(QFile::exists(copy));

    struct Case {
        const char* what;
        std::optional<TImportChoice> choice;
        QStringList asked;
    };
    busy = true;
    importDialog.answer = TImportChoice{copy, {}, {}};
    commands->Import();
    EXPECT_TRUE(importDialog.opened.isEmpty());
    EXPECT_EQ(prompt.asked, QStringList{u"Message: "_s + Refusal});
    busy = false;

    const Case refusals[] = {
        {"cancelled", std::nullopt, {}},
        {"not a job file",
         TImportChoice{HomePath(u"src/a.txt"_s), {}, {}},
         {u"Error: Click \"Browse...\" and find the job file *.bmj."_s}},
        {"name taken",
         TImportChoice{copy, {}, {}},
         {u"Error: Job \"Docs\" already exists. Please specify another name."_s}},
    };
    for (const Case& c : refusals) {
        SCOPED_TRACE(c.what);
        prompt.asked.clear();
        importDialog.answer = c.choice;
        commands->Import();
        EXPECT_EQ(prompt.asked, c.asked);
        EXPECT_EQ(catalogue->Count(), 1);
        EXPECT_EQ(done, 0);
    }

    // Under another name the copy is a job of its own, with its schedule off.
    ASSERT_TRUE(QFile::copy(copy, HomePath(u"dest/Copied.bmj"_s)));
    job->SchedulingSettings.SchedulingType = stDaysOfWeek;
    importDialog.opened.clear();
    importDialog.answer = TImportChoice{HomePath(u"dest/Copied.bmj"_s), {}, {}};
    prompt.asked.clear();
    commands->Import(HomePath(u"dest/Copied.bmj"_s));
    EXPECT_EQ(importDialog.opened, QStringList{HomePath(u"dest/Copied.bmj"_s)});
    EXPECT_TRUE(commands->Importing());
    ASSERT_TRUE(WaitForCommand());
    EXPECT_TRUE(prompt.asked.isEmpty()) << prompt.asked.join(u'\n').toStdString();
    ASSERT_EQ(catalogue->Count(), 2);
    const TJob& imported = catalogue->At(1);
    EXPECT_EQ(imported.stJobName, u"Copied"_s);
    EXPECT_EQ(imported.SchedulingSettings.SchedulingType, stDisabled);
    EXPECT_EQ(static_cast<const TJob_FilesAndFolders&>(imported).Settings.Sources.List,
              job->Settings.Sources.List);
    EXPECT_EQ(changed, QList<int>{1});
    EXPECT_TRUE(TakeEventTexts().contains(u"Job is open: \"Copied\"."_s));

    // A copy that is not a job file reports the import failure.
    done = 0;
    testing::WriteFileBytes(HomePath(u"dest/Broken.bmj"_s), "not a job");
    importDialog.answer = TImportChoice{HomePath(u"dest/Broken.bmj"_s), {}, {}};
    commands->Import();
    ASSERT_TRUE(WaitForCommand());
    EXPECT_EQ(prompt.asked.last(), u"Error: Unable to open the job file from the backup storage."_s);
    EXPECT_EQ(catalogue->Count(), 2);
}

} // namespace
} // namespace morvane
