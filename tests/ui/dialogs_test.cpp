#include "ui/enter_password.h"
#include "ui/restore/drive_image_guidance.h"
#include "ui/restore/restore_list.h"
#include "ui/shutdown_dialog.h"
#include "ui/ui_thread.h"

#include "fixtures/temp_home.h"
#include "i18n/catalogue_loader.h"
#include "platform/program_state.h"
#include "scripted_prompt.h"
#include "ui_test_support.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class RecordingPower final : public IPowerControl {
public:
    void KeepAwake() override {}
    void AllowSleep() override {}
    bool SwitchOff() override {
        ++switchOffs;
        return true;
    }
    bool RestartIntoRecovery() override {
        ++restarts;
        return true;
    }
    int switchOffs = 0;
    int restarts = 0;
};

class DialogsTest : public testing::TempHomeTest {
protected:
    // The shipped catalogue with German selected.
    static void UseGerman() {
        QFile file(QStringLiteral(MORVANE_SOURCE_DIR "/data/transl.dt"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        Catalogue().Table = ParseTranslationFile(file.readAll()).value();
        Catalogue().CurrentLanguageIndex = 1;
        Catalogue().CurrentLanguageCode = u"de"_s;
    }
};

TEST_F(DialogsTest, EnterPasswordReturnsTheTypedTextAndOpensEmptyAndMasked) {
    TfrmEnterPassword window;
    test::OnNextModal<TfrmEnterPassword>([](TfrmEnterPassword* w) {
        QTest::keyClicks(w->Edit1(), u" secret "_s);
        w->ShowPasswordBox()->setChecked(true);
        EXPECT_EQ(w->Edit1()->echoMode(), QLineEdit::Normal);
        QTest::keyClick(w->Edit1(), Qt::Key_Return); // Enter acts as OK
    });
    EXPECT_EQ(window.EnterPassword(), u" secret "_s) << "the caller trims";

    test::OnNextModal<TfrmEnterPassword>([](TfrmEnterPassword* w) {
        EXPECT_TRUE(w->Edit1()->text().isEmpty());
        EXPECT_FALSE(w->ShowPasswordBox()->isChecked());
        EXPECT_EQ(w->Edit1()->echoMode(), QLineEdit::Password);
        QTest::keyClicks(w->Edit1(), u"typed"_s);
        w->Buttons()->button(QDialogButtonBox::Cancel)->click();
    });
    EXPECT_EQ(window.EnterPassword(), std::nullopt);
}

TEST_F(DialogsTest, EnterPasswordIsTranslatedWhenShown) {
    TfrmEnterPassword window;
    UseGerman();
    test::OnNextModal<TfrmEnterPassword>([](TfrmEnterPassword* w) {
        EXPECT_EQ(w->windowTitle(), u" Passwort eingeben");
        EXPECT_EQ(w->ShowPasswordBox()->text(), u"Passwort anzeigen");
        EXPECT_EQ(w->Buttons()->button(QDialogButtonBox::Cancel)->text(), u"Abbrechen");
        w->Buttons()->button(QDialogButtonBox::Ok)->click();
    });
    EXPECT_EQ(window.EnterPassword(), QString());
}

struct ShutdownCase {
    const char* name;
    std::function<void(TfrmPCshutdownDialog&)> act;
    int switchOffs;
    int cancels;
};

TEST_F(DialogsTest, ShutdownButtonsReachTheCountdown) {
    const ShutdownCase cases[] = {
        {"Shutdown switches off at the next second",
         [](TfrmPCshutdownDialog& d) { d.ShutdownButton()->click(); }, 1, 0},
        {"Cancel", [](TfrmPCshutdownDialog& d) { d.CancelButton()->click(); }, 0, 1},
        {"close box acts as Cancel", [](TfrmPCshutdownDialog& d) { d.close(); }, 0, 1},
        {"Escape acts as Cancel", [](TfrmPCshutdownDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, 0, 1},
    };
    for (const ShutdownCase& c : cases) {
        RecordingPower power;
        TfrmPCshutdownDialog dialog;
        int cancels = 0;
        TShutdownCountdown countdown(power, dialog, [&] { ++cancels; });
        dialog.SetCountdown(&countdown);
        countdown.Start();
        ASSERT_TRUE(dialog.isVisible()) << c.name;
        EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(dialog.MessageLabel()->text(), TShutdownCountdown::MessageText(60));
        countdown.OnSecond();
        EXPECT_EQ(dialog.MessageLabel()->text(), TShutdownCountdown::MessageText(59));

        c.act(dialog);
        countdown.OnSecond();
        EXPECT_EQ(power.switchOffs, c.switchOffs) << c.name;
        EXPECT_EQ(cancels, c.cancels) << c.name;
        EXPECT_FALSE(dialog.isVisible()) << c.name;
        EXPECT_FALSE(countdown.IsTimerRunning()) << c.name;
        EXPECT_EQ(Program().ClosingRequested.load(), c.switchOffs == 1) << c.name;
        Program().ClosingRequested = false;
    }
}

TEST_F(DialogsTest, ShutdownDialogIsTranslated) {
    UseGerman();
    RecordingPower power;
    TfrmPCshutdownDialog dialog;
    TShutdownCountdown countdown(power, dialog, [] {});
    dialog.SetCountdown(&countdown);
    countdown.Start();
    EXPECT_EQ(dialog.windowTitle(), u" Warnung!");
    EXPECT_EQ(dialog.ShutdownButton()->text(), u"Herunterfahren");
    EXPECT_TRUE(dialog.MessageLabel()->text().contains(u"60 Sekunden"));
    dialog.CancelButton()->click();
}

TEST_F(DialogsTest, RestoreChooserLoadsWithoutBlockingThenChooses) {
    TfrmRestoreList chooser;
    test::ScriptedPrompt prompt;
    TWidgetRestoreDialogs dialogs(chooser, prompt);

    dialogs.ShowRestorePointsLoading(); // returns at once
    EXPECT_TRUE(chooser.isVisible());
    EXPECT_TRUE(chooser.IsLoading());
    EXPECT_EQ(chooser.windowTitle(), u" Restore");
    EXPECT_EQ(chooser.LoadingLabel()->text(), u"Loading the list of backups...");
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    dialogs.CloseRestorePoints();
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    test::OnNextModal<TfrmRestoreList>([](TfrmRestoreList* w) {
        EXPECT_FALSE(w->IsLoading());
        EXPECT_EQ(w->Label1()->text(), u"Please choose a restore point:");
        EXPECT_FALSE(w->OkButton()->isEnabled()) << "nothing selected yet";
        w->ListBox1()->setCurrentRow(1);
        EXPECT_TRUE(w->OkButton()->isEnabled());
        w->ListBox1()->clearSelection();
        EXPECT_FALSE(w->OkButton()->isEnabled());
        w->ListBox1()->setCurrentRow(1);
        w->OkButton()->click();
    });
    EXPECT_EQ(
        dialogs.ChooseRestorePoint({u"2024-03-05 14:30:00 (Full)"_s, u"2024-03-06 14:30:00 (Incremental)"_s}),
        1);

    test::OnNextModal<TfrmRestoreList>([](TfrmRestoreList* w) {
        EXPECT_EQ(w->ListBox1()->count(), 1) << "the list is replaced, not added to";
        w->ListBox1()->setCurrentRow(0);
        w->CancelButton()->click();
    });
    EXPECT_EQ(dialogs.ChooseRestorePoint({u"only"_s}), std::nullopt);

    // The chooser shown while loading is still made modal for the choice, with the keyboard on the list:
    // Space chooses the first point.
    dialogs.ShowRestorePointsLoading();
    test::OnNextModal<TfrmRestoreList>([](TfrmRestoreList* w) {
        EXPECT_TRUE(w->isModal() || w->windowModality() != Qt::NonModal);
        EXPECT_EQ(w->focusWidget(), w->ListBox1());
        EXPECT_FALSE(w->OkButton()->isEnabled());
        QTest::keyClick(w->ListBox1(), Qt::Key_Space);
        EXPECT_TRUE(w->OkButton()->isEnabled());
        w->OkButton()->click();
    });
    EXPECT_EQ(dialogs.ChooseRestorePoint({u"a"_s}), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(DialogsTest, RestoreWindowsAnswerARestoreOnAWorker) {
    TfrmRestoreList chooser;
    test::ScriptedPrompt prompt;
    TWidgetRestoreDialogs dialogs(chooser, prompt);
    bool loadingShown = false;
    std::optional<int> chosen;
    bool finished = false;
    std::thread worker([&] {
        dialogs.ShowRestorePointsLoading();
        loadingShown = RunOnUiThread([&] { return chooser.isVisible() && chooser.IsLoading(); });
        dialogs.CloseRestorePoints();
        chosen = dialogs.ChooseRestorePoint({u"a"_s, u"b"_s});
        dialogs.ShowErrorMessage(u"e"_s);
        finished = true;
    });
    // The chooser's own loop runs inside the wait below, so a polling timer answers it.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* w = qobject_cast<TfrmRestoreList*>(QApplication::activeModalWidget())) {
            w->ListBox1()->setCurrentRow(1);
            w->OkButton()->click();
        }
    });
    answer.start(10);
    const bool done = QTest::qWaitFor([&] { return finished; }, 30000);
    worker.join();
    ASSERT_TRUE(done);
    EXPECT_TRUE(loadingShown);
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(prompt.asked, QStringList{u"Error: e"_s});
}

TEST_F(DialogsTest, RestoreDialogsAskThroughThePrompt) {
    TfrmRestoreList chooser;
    test::ScriptedPrompt prompt;
    TWidgetRestoreDialogs dialogs(chooser, prompt);
    prompt.Push(HomePath(u"out"_s));
    prompt.Cancel();
    prompt.Cancel();
    EXPECT_EQ(dialogs.ChooseOutputDirectory(u"Choose an output directory"_s), HomePath(u"out"_s));
    EXPECT_EQ(dialogs.ChooseOutputDirectory(u"Choose an output directory"_s), std::nullopt);
    EXPECT_EQ(dialogs.AskPassword(u"Enter the Password"_s, u"Password:"_s), QString());
    dialogs.ShowErrorMessage(u"Unable to connect to the backup storage."_s);
    EXPECT_EQ(prompt.asked.last(), u"Error: Unable to connect to the backup storage.");
}

TEST_F(DialogsTest, DriveImageGuidanceRestartsOnlyWhenAsked) {
    RecordingPower power;
    test::ScriptedPrompt prompt;
    int mainWindowCloses = 0;
    TfrmRestore_DriveImage window(power, prompt, [&] { ++mainWindowCloses; });

    window.ShowRestoreGuidance();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.isModal());
    EXPECT_EQ(window.windowTitle(), u" Restore Drive Image");
    window.CancelButton()->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(power.restarts, 0);
    EXPECT_EQ(mainWindowCloses, 0);
    EXPECT_FALSE(Program().ClosingRequested.load());

    window.ShowRestoreGuidance();
    window.RestartButton()->click();
    EXPECT_EQ(power.restarts, 1);
    EXPECT_EQ(mainWindowCloses, 1);
    EXPECT_TRUE(Program().ClosingRequested.load());
    EXPECT_FALSE(window.isVisible());

    window.ShowErrorMessage(u"x"_s);
    EXPECT_EQ(prompt.asked, QStringList{u"Error: x"_s});
}

TEST_F(DialogsTest, DriveImageGuidanceIsTranslatedEachTimeItShows) {
    RecordingPower power;
    test::ScriptedPrompt prompt;
    TfrmRestore_DriveImage window(power, prompt, [] {});
    UseGerman();
    window.ShowRestoreGuidance();
    EXPECT_EQ(window.windowTitle(), u" Laufwerksabbild wiederherstellen");
    EXPECT_EQ(window.RestartButton()->text(), u"PC neu starten und fortfahren...");
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    const bool diagramTranslated = std::any_of(labels.begin(), labels.end(),
                                               [](QLabel* l) { return l->text() == u"Problembehandlung"; });
    EXPECT_TRUE(diagramTranslated);
    window.CancelButton()->click();
}

} // namespace
} // namespace morvane
