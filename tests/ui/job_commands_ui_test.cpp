// The window's catalogue actions reach their commands, and the import dialog takes only job files.

#include "main_window_fixture.h"
#include "ui/open_job_dialog.h"
#include "ui/wizard/job_wizards.h"
#include "ui/wizard/wizard_parts.h"

#include "control/source_tree_model.h"
#include "fixtures/temp_home.h"
#include "options/options.h"
#include "scripted_prompt.h"
#include "silent_windows.h"
#include "ui_test_support.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class JobCommandsUiTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        for (const QString& name : {u"Documents"_s, u"Photos"_s}) {
            TJob& job = catalogue->Append(std::make_unique<TJob_FilesAndFolders>(name));
            job.DestinationPath = HomePath(u"dest"_s);
            ASSERT_TRUE(SaveLocalJobFile(job, catalogue->JobFilePath(name)));
        }
        Window();
    }
};

TEST_F(JobCommandsUiTest, TheActionsFollowTheSelectedJob) {
    TfrmMainOrvellaBackup& w = *window;
    const QList<QAction*> jobActions{w.ActionDuplicate, w.ActionRename, w.ActionRemove};
    EXPECT_TRUE(w.ActionOpen->isEnabled());
    for (QAction* action : jobActions)
        EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
    catalogue->At(0).JobStatus = jsRunning;
    w.RefreshAfterTick({2, 1, 0});
    for (QAction* action : jobActions)
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_TRUE(w.ActionOpen->isEnabled());
    catalogue->At(0).JobStatus = jsNone;
    w.SelectRow(-1);
    for (QAction* action : jobActions)
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
}

TEST_F(JobCommandsUiTest, TheActionsReachTheCommands) {
    TfrmMainOrvellaBackup& w = *window;
    w.SelectRow(1);
    prompt.Cancel();
    w.ActionRename->trigger();
    EXPECT_EQ(prompt.asked, QStringList{u"AskText: Rename Job"_s});
    EXPECT_EQ(prompt.proposed, QStringList{u"Photos"_s});

    // A duplicate is made in the files wizard, joins the list and becomes the selected row.
    prompt.asked.clear();
    prompt.Push(u"Photos 2"_s);
    const QString source = HomePath(u"pictures"_s);
    ASSERT_TRUE(QDir().mkpath(source));
    ASSERT_TRUE(QDir().mkpath(HomePath(u"dest"_s)));
    bool walked = false;
    test::OnNextModal<TfrmWizard_FilesBackup>([&](TfrmWizard_FilesBackup* wizard) {
        EXPECT_EQ(wizard->windowTitle(), u" New Job - Photos 2"_s);
        wizard->Tree->SetChecked(source, true);
        // Each page waits for the disk lookups of the one before.
        for (int page = 0; page < 3; ++page) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return wizard->Next->isEnabled(); }));
            wizard->Next->click();
        }
        walked = QTest::qWaitFor([&] { return wizard->Save->isEnabled(); });
        wizard->Save->click();
        if (wizard->isVisible()) {
            ADD_FAILURE() << prompt.asked.join(u'\n').toStdString();
            wizard->reject();
        }
    });
    w.ActionDuplicate->trigger();
    ASSERT_TRUE(walked);
    EXPECT_EQ(prompt.asked, QStringList{u"AskText: Duplicate"_s});
    ASSERT_EQ(w.JobsList()->model()->rowCount(), 3);
    EXPECT_EQ(w.SelectedRow(), 2);
    EXPECT_EQ(w.JobRows().data(w.JobRows().index(2, 0)).toString(), u"Photos 2"_s);

    // Removing its record only: the row goes at once and the one above is selected.
    prompt.asked.clear();
    prompt.Push(true);
    prompt.Push(false);
    w.ActionRemove->trigger();
    EXPECT_EQ(prompt.asked.first(), u"Confirm: Remove the record for backup job Photos 2?"_s);
    ASSERT_EQ(w.JobsList()->model()->rowCount(), 2);
    EXPECT_EQ(w.SelectedRow(), 1);
    EXPECT_TRUE(w.Events().Lines().last().endsWith(u"Job is removed."_s))
        << w.Events().Lines().join(u'\n').toStdString();

    // Open shows the import dialog.
    bool shown = false;
    test::OnNextModal<TfrmOpenJobDialog>([&](TfrmOpenJobDialog* dialog) {
        shown = true;
        EXPECT_EQ(dialog->windowTitle(), u"Import"_s);
        EXPECT_TRUE(dialog->edLocalExtDiskPath()->text().isEmpty());
        dialog->reject();
    });
    w.ActionOpen->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(JobCommandsUiTest, TheImportDialogTakesOnlyAPathWithAJobFile) {
    TfrmOpenJobDialog dialog(prompt);
    struct Case {
        QString path;
        bool accepted;
    };
    const Case cases[] = {
        {u"/media/usb/Backup/Job.bmj"_s, true},
        {u"/media/usb/a.bmj.old"_s, true},
        {u"/media/usb/Backup/Job.BMJ"_s, false},
        {QString(), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        prompt.asked.clear();
        test::OnNextModal<TfrmOpenJobDialog>([&](TfrmOpenJobDialog* shown) {
            EXPECT_EQ(shown->edLocalExtDiskPath()->text(), u"/start.bmj"_s);
            shown->edLocalExtDiskPath()->setText(c.path);
            shown->UserEdit()->setText(u" ann "_s);
            shown->PasswordEdit()->setText(u"secret"_s);
            shown->ImportButton()->click();
            if (shown->isVisible())
                shown->reject();
        });
        const std::optional<TImportChoice> choice = dialog.AskImport(u"/start.bmj"_s);
        EXPECT_EQ(choice.has_value(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(choice->Path, c.path);
            EXPECT_EQ(choice->NetworkUser, u"ann"_s);
            EXPECT_EQ(choice->NetworkPassword, u"secret"_s);
            EXPECT_TRUE(prompt.asked.isEmpty());
        } else {
            EXPECT_EQ(prompt.asked,
                      QStringList{u"Error: Click \"Browse...\" and find the job file *.bmj."_s});
        }
        EXPECT_TRUE(dialog.PasswordEdit()->text().isEmpty()) << "the password does not stay in the window";
    }

    // Browse puts the chosen file into the path field.
    dialog.setFileChooser([](const QString&) { return u"/media/usb/Chosen.bmj"_s; });
    test::OnNextModal<TfrmOpenJobDialog>([](TfrmOpenJobDialog* shown) {
        shown->BrowseButton()->click();
        shown->ImportButton()->click();
    });
    const std::optional<TImportChoice> browsed = dialog.AskImport(QString());
    ASSERT_TRUE(browsed);
    EXPECT_EQ(browsed->Path, u"/media/usb/Chosen.bmj"_s);
}

} // namespace
} // namespace morvane
