#include "ui/wizard/job_wizards.h"
#include "ui/wizard/wizard_parts.h"

#include "control/source_tree_model.h"
#include "fixtures/temp_home.h"
#include "platform/paths.h"
#include "scripted_prompt.h"
#include "ui_test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class WizardWindowsTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        source = HomePath(u"src"_s);
        target = HomePath(u"dst"_s);
        QDir().mkpath(JoinPath(source, u"photos"_s));
        QDir().mkpath(target);
    }
    QString source;
    QString target;
    test::ScriptedPrompt prompt;
};

// A user clicks through the files-and-folders wizard: each button reaches the wizard's model.
TEST_F(WizardWindowsTest, FilesWizardButtonsReachTheModel) {
    TfrmWizard_FilesBackup window(prompt);
    TFilesWizard wizard;
    bool walked = false;
    test::OnNextModal<TfrmWizard_FilesBackup>([&](TfrmWizard_FilesBackup* w) {
        EXPECT_EQ(w->windowTitle(), u" New Job - Docs"_s);
        EXPECT_EQ(w->Heading->text(), u"What do you want to backup?"_s);
        EXPECT_FALSE(w->Back->isEnabled());
        EXPECT_FALSE(w->Save->isEnabled());
        EXPECT_FALSE(w->Extensions->isEnabled());
        w->Next->click();
        EXPECT_EQ(prompt.asked, QStringList{u"Message: Please add one or more sources to the list"_s});
        EXPECT_EQ(w->Pages->currentIndex(), 0);

        w->Tree->SetChecked(JoinPath(source, u"photos"_s), true);
        EXPECT_TRUE(w->ViewAsList->text().contains(u"View as list (1)"_s));
        w->Next->click();
        EXPECT_EQ(w->Pages->currentIndex(), 1);
        EXPECT_EQ(w->Heading->text(), u"Where to store your backup?"_s);
        EXPECT_TRUE(w->Back->isEnabled());
        EXPECT_TRUE(w->ExternalPath->isEnabled());
        EXPECT_FALSE(w->NetworkBox->isEnabled());
        w->Network->setChecked(true);
        EXPECT_FALSE(w->ExternalPath->isEnabled());
        EXPECT_TRUE(w->NetworkBox->isEnabled());
        w->External->setChecked(true);
        w->ExternalPath->setText(HomePath(u"nowhere"_s));
        w->Next->click();
        // The folder is looked at on a worker; the buttons wait for the answer.
        EXPECT_FALSE(w->Next->isEnabled());
        EXPECT_FALSE(w->Back->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->Next->isEnabled(); }));
        EXPECT_EQ(w->Pages->currentIndex(), 1);
        EXPECT_EQ(prompt.asked.last(), u"Message: Please choose existing folder"_s);
        w->ExternalPath->setText(target);
        w->Next->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->Pages->currentIndex() == 2; }));
        // Mirror: neither number applies.
        EXPECT_FALSE(w->FullEvery->isEnabled());
        EXPECT_FALSE(w->Keep->isEnabled());
        w->Incremental->setChecked(true);
        EXPECT_TRUE(w->FullEvery->isEnabled());
        w->FullEvery->setValue(3);
        w->Next->click();
        EXPECT_EQ(w->Pages->currentIndex(), 3);
        EXPECT_FALSE(w->Next->isEnabled());
        EXPECT_TRUE(w->Save->isEnabled());
        EXPECT_FALSE(w->Schedule->Timetable->isEnabled());
        w->Schedule->DaysOfWeek->click();
        EXPECT_TRUE(w->Schedule->Timetable->isEnabled());
        w->Schedule->DaysOfWeek->click();
        walked = true;
        w->SaveAndRun->trigger();
    });
    window.Run(wizard, u" New Job - Docs"_s);
    ASSERT_TRUE(walked);
    EXPECT_EQ(wizard.ResultCode(), wrSaveAndRun);
    EXPECT_EQ(wizard.Sources, QStringList{JoinPath(source, u"photos/*"_s)});
    EXPECT_EQ(wizard.Destination.LocalPath, target);
    EXPECT_EQ(wizard.BackupType, btInc);
    EXPECT_EQ(wizard.FullBackupEveryCopies, 3);
}

// Opening a job: the sources that went away are found on a worker and no longer checked.
TEST_F(WizardWindowsTest, FilesWizardDropsSourcesThatAreGone) {
    TfrmWizard_FilesBackup window(prompt);
    TJob_FilesAndFolders job(u"Docs"_s);
    const QString kept = JoinPath(source, u"photos/*"_s);
    job.Settings.Sources.List = {kept, JoinPath(source, u"gone/*"_s)};
    TFilesWizard wizard;
    wizard.JobToControls(job);
    bool shown = false;
    test::OnNextModal<TfrmWizard_FilesBackup>([&](TfrmWizard_FilesBackup* w) {
        shown = true;
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->Next->isEnabled(); }));
        EXPECT_EQ(w->Tree->Selection(), QStringList{kept});
        EXPECT_TRUE(w->ViewAsList->text().contains(u"View as list (1)"_s));
        w->Cancel->click();
    });
    window.Run(wizard, u" Settings - Docs"_s);
    ASSERT_TRUE(shown);
    EXPECT_EQ(wizard.Sources, QStringList{kept});
}

// The volumes are read on a worker; the stored choices stand until they are shown.
TEST_F(WizardWindowsTest, DriveImageWizardListsTheVolumesOnceRead) {
    TfrmWizard_DriveImageBackup window(prompt);
    TImageWizard wizard;
    wizard.CheckedDrives = {u"/not-connected"_s};
    wizard.DestinationDrive = u"/also-not-connected"_s;
    bool shown = false;
    test::OnNextModal<TfrmWizard_DriveImageBackup>([&](TfrmWizard_DriveImageBackup* w) {
        shown = true;
        ASSERT_TRUE(QTest::qWaitFor([&] { return w->Next->isEnabled(); }));
        QStringList listed;
        for (int i = 0; i < w->Drives->count(); ++i)
            listed.append(w->Drives->item(i)->data(Qt::UserRole).toString());
        QStringList expected;
        for (const TVolumeEntry& volume : MachineVolumes())
            expected.append(volume.RootPath);
        EXPECT_EQ(listed, expected);
        EXPECT_EQ(w->DiskChooser->count(), expected.size());
        w->Cancel->click();
    });
    window.Run(wizard, u" Properties - System"_s);
    ASSERT_TRUE(shown);
    EXPECT_EQ(wizard.CheckedDrives, QStringList{u"/not-connected"_s});
}

TEST_F(WizardWindowsTest, AddTimeWindowFillsTheTimetableInOrder) {
    TSchedulePage page(prompt);
    TScheduleFields fields;
    fields.SetDaysOfWeekChecked(true);
    fields.TimeTable = {u"08:00:00"_s, u"18:00:00"_s};
    page.Load(fields);
    for (int i = 0; i < 2; ++i) {
        test::OnNextModal<TfrmAddTime>([](TfrmAddTime* w) {
            w->Time->setTime(QTime(12, 0));
            w->accept();
        });
        page.AddTime->click();
    }
    TScheduleFields stored;
    page.Store(stored);
    EXPECT_EQ(stored.TimeTable, (QStringList{u"08:00:00"_s, u"12:00:00"_s, u"18:00:00"_s}));
    EXPECT_EQ(prompt.asked, QStringList{u"Message: Record already exists"_s});
}

TEST_F(WizardWindowsTest, DriveImageWizardCancelLeavesNoResult) {
    TfrmWizard_DriveImageBackup window(prompt);
    TImageWizard wizard;
    bool shown = false;
    test::OnNextModal<TfrmWizard_DriveImageBackup>([&](TfrmWizard_DriveImageBackup* w) {
        shown = true;
        EXPECT_EQ(w->Pages->count(), 3);
        EXPECT_FALSE(w->Versions->isEnabled());
        w->KeepVersions->setChecked(true);
        EXPECT_TRUE(w->Versions->isEnabled());
        EXPECT_TRUE(QTest::qWaitFor([&] { return w->Next->isEnabled(); })); // volumes read
        w->Next->click();                                                   // no drive checked
        EXPECT_EQ(w->Pages->currentIndex(), 0);
        w->Cancel->click();
    });
    window.Run(wizard, u" New Job - System"_s);
    ASSERT_TRUE(shown);
    EXPECT_EQ(wizard.ResultCode(), wrDiscard);
    EXPECT_TRUE(wizard.KeepVersions);
    EXPECT_EQ(prompt.asked, QStringList{u"Message: Please add one or more sources to the list"_s});
}

TEST_F(WizardWindowsTest, PasswordDialogChangesThePasswordOnlyWhenConfirmed) {
    TfrmPassword dialog(prompt);
    QString password = u"old"_s;
    // A mismatch keeps the dialog open; Cancel then leaves the password as it was.
    test::OnNextModal<TfrmPassword>([](TfrmPassword* w) {
        EXPECT_TRUE(w->Password->text().isEmpty());
        EXPECT_EQ(w->Password->echoMode(), QLineEdit::Password);
        QTest::keyClicks(w->Password, u"one"_s);
        QTest::keyClicks(w->Confirmation, u"two"_s);
        w->OK->click();
        EXPECT_TRUE(w->isVisible());
        w->reject();
    });
    dialog.ChangePassword(password);
    EXPECT_EQ(password, u"old"_s);
    EXPECT_EQ(prompt.asked, QStringList{u"Error: Passwords do not match."_s});

    test::OnNextModal<TfrmPassword>([](TfrmPassword* w) {
        EXPECT_TRUE(w->Password->text().isEmpty());
        QTest::keyClicks(w->Password, u" new "_s);
        QTest::keyClicks(w->Confirmation, u"new"_s);
        QTest::keyClick(w->Confirmation, Qt::Key_Return);
    });
    dialog.ChangePassword(password);
    EXPECT_EQ(password, u"new"_s);
}

// The network box's own button opens the two-field window, and the confirmed text becomes the password.
TEST_F(WizardWindowsTest, NetworkBoxSetsThePasswordThroughItsWindow) {
    TNetworkBox box(prompt);
    TDestinationFields fields;
    fields.NetworkPassword = u"old"_s;
    box.Load(fields);
    test::OnNextModal<TfrmPassword>([](TfrmPassword* w) {
        QTest::keyClicks(w->Password, u"Secret"_s);
        QTest::keyClicks(w->Confirmation, u"Secret"_s);
        w->OK->click();
    });
    box.SetPassword->click();
    TDestinationFields stored;
    box.Store(stored);
    EXPECT_EQ(stored.NetworkPassword, u"Secret"_s);
    EXPECT_EQ(box.PasswordStatus->text(), stored.PasswordStatusText());
}

TEST_F(WizardWindowsTest, NewJobDialogOpensEmptyWithFilesChosen) {
    TfrmNewBackupJob dialog;
    for (const bool image : {true, false}) {
        test::OnNextModal<TfrmNewBackupJob>([image](TfrmNewBackupJob* w) {
            EXPECT_TRUE(w->Edit1->text().isEmpty());
            EXPECT_TRUE(w->rbFilesAndFolders->isChecked());
            QTest::keyClicks(w->Edit1, u"Name "_s);
            if (image)
                w->rbDriveBackup->setChecked(true);
            QTest::keyClick(w->Edit1, Qt::Key_Return);
        });
        const auto choice = dialog.Ask();
        ASSERT_TRUE(choice);
        EXPECT_EQ(choice->Name, u"Name "_s);
        EXPECT_EQ(choice->Kind, image ? TJob::Kind::DriveImage : TJob::Kind::FilesAndFolders);
    }
}

} // namespace
} // namespace morvane
