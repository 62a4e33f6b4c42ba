#include "main_window_fixture.h"

#include "fixtures/temp_home.h"
#include "formats/events_log.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "scripted_prompt.h"
#include "silent_windows.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class MainWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        first = &catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"Documents"_s));
        first->DestinationPath = u"/media/usb"_s;
        second = &catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"Photos"_s));
        second->DestinationPath = u"\\\\nas\\photos"_s;
    }
    void Tick() { Window().RefreshAfterTick({catalogue->Count(), 0, 0}); }
    QString Cell(int row, int column) {
        return Window().JobRows().data(Window().JobRows().index(row, column)).toString();
    }

    TJob* first = nullptr;
    TJob* second = nullptr;
};

TEST_F(MainWindowTest, TheJobListShowsOneRowPerJob) {
    TfrmMainOrvellaBackup& w = Window();
    ASSERT_EQ(w.JobsList()->model()->rowCount(), 2);
    EXPECT_EQ(Cell(0, 0), u"Documents"_s);
    EXPECT_EQ(Cell(1, 1), u"Backup to \\nas\\photos"_s);
    EXPECT_EQ(Cell(1, 3), u"Never started"_s);
    EXPECT_EQ(w.JobsList()->model()->headerData(3, Qt::Horizontal).toString(), u"Last Result"_s);
    EXPECT_EQ(w.SelectedRow(), 0);
}

TEST_F(MainWindowTest, BackupMarksTheSelectedIdleJobWaiting) {
    TfrmMainOrvellaBackup& w = Window();
    w.SelectRow(1);
    ASSERT_TRUE(w.ActionBackup->isEnabled());
    w.ActionBackup->trigger();
    EXPECT_EQ(second->JobStatus, jsWaiting);
    EXPECT_EQ(first->JobStatus, jsNone);
    EXPECT_EQ(Cell(1, 2), u"Waiting"_s);
    EXPECT_TRUE(prompt.asked.isEmpty());
}

TEST_F(MainWindowTest, CommandsFollowTheSelectedJobsStatus) {
    TfrmMainOrvellaBackup& w = Window();
    second->JobStatus = jsRunning;
    w.SelectRow(1);
    Tick();
    EXPECT_FALSE(w.ActionBackup->isEnabled());
    EXPECT_FALSE(w.ActionRestore->isEnabled());
    EXPECT_FALSE(w.ActionViewLog->isEnabled());
    EXPECT_FALSE(w.ActionViewHistory->isEnabled());
    EXPECT_TRUE(w.ActionPause->isEnabled());
    EXPECT_TRUE(w.ActionCancel->isEnabled());
    EXPECT_EQ(w.ActionPause->text(), u"Pause"_s);
    EXPECT_EQ(Cell(1, 2), u"Running"_s);

    w.ActionPause->trigger();
    EXPECT_EQ(second->JobStatus, jsPaused);
    Tick();
    EXPECT_EQ(w.ActionPause->text(), u"Resume"_s);
    w.ActionPause->trigger();
    EXPECT_EQ(second->JobStatus, jsRunning);

    w.SelectRow(0);
    Tick();
    EXPECT_TRUE(w.ActionBackup->isEnabled());
    EXPECT_FALSE(w.ActionPause->isEnabled());
    // The catalogue commands are offered for an idle job.
    EXPECT_TRUE(w.ActionProperties->isEnabled());
    EXPECT_TRUE(w.ActionRemove->isEnabled());
}

TEST_F(MainWindowTest, AboutGoesThroughThePrompt) {
    Window().ActionAbout->trigger();
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_TRUE(prompt.asked.first().startsWith(u"Information: Morvane Backup\nVersion: 2.3"_s));
}

TEST_F(MainWindowTest, TheTickFillsTheEventsAndTheStatusBar) {
    TfrmMainOrvellaBackup& w = Window();
    AddToEventsLog(u"\"Documents\" backup is started."_s);
    w.RefreshAfterTick({2, 1, 0});
    ASSERT_EQ(w.Events().Lines().size(), 1);
    EXPECT_TRUE(w.Events().Lines().first().endsWith(u"\"Documents\" backup is started."_s));
    QStringList texts;
    for (const QLabel* label : w.statusBar()->findChildren<QLabel*>())
        texts.append(label->text());
    EXPECT_TRUE(texts.contains(u"Jobs: 2"_s)) << texts.join(u", "_s).toStdString();
    EXPECT_TRUE(texts.contains(u"Running: 1"_s));
    EXPECT_TRUE(texts.contains(u"Cancelled: 0"_s));
}

TEST_F(MainWindowTest, ChoosingALanguageRetranslatesAndRemembersIt) {
    Catalogue().Table = {{u"English"_s, u"en"_s, u"Backup"_s, u"Settings"_s, u"Ready"_s},
                         {u"Deutsch"_s, u"de"_s, u"Sichern"_s, u"Einstellungen"_s, u"Bereit"_s}};
    TfrmMainOrvellaBackup& w = Window();
    const QList<QAction*> items = w.LanguageMenu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[1]->text(), u"Deutsch"_s);
    EXPECT_TRUE(items[0]->isChecked());
    EXPECT_EQ(w.ActionProperties->text(), u"Settings..."_s);

    items[1]->trigger();
    EXPECT_TRUE(items[1]->isChecked());
    EXPECT_FALSE(items[0]->isChecked());
    EXPECT_EQ(w.ActionBackup->text(), u"Sichern"_s);
    EXPECT_EQ(w.ActionProperties->text(), u"Einstellungen"_s); // no "..." in German
    EXPECT_EQ(Cell(0, 2), u"Bereit"_s);
    EXPECT_EQ(SettingsStore(IniPath()).ReadString(u"CurrentLanguage"_s), u"de"_s);
    EXPECT_EQ(GlobalOptions().Language.iLanguage, 1);
}

TEST_F(MainWindowTest, ClosingHidesUnlessAllowedAndKeepsThePlacement) {
    TfrmMainOrvellaBackup& w = Window();
    w.show();
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(SettingsStore(IniPath()).ReadString(u"window_w"_s).has_value());
    EXPECT_EQ(SettingsStore(IniPath()).ReadString(u"events_visible"_s), u"1"_s);

    bool asked = false;
    w.setCloseQuery([&] {
        asked = true;
        return true;
    });
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(asked);
}

TEST_F(MainWindowTest, MovingAJobKeepsItSelected) {
    TfrmMainOrvellaBackup& w = Window();
    w.SelectRow(0);
    EXPECT_FALSE(w.ActionMoveUp->isEnabled());
    w.ActionMoveDown->trigger();
    EXPECT_EQ(&catalogue->At(1), first);
    EXPECT_EQ(w.SelectedRow(), 1);
    EXPECT_EQ(Cell(1, 0), u"Documents"_s);
}

TEST_F(MainWindowTest, UpAndDownMoveTheSelectionWithinTheList) {
    TfrmMainOrvellaBackup& w = Window();
    const auto press = [&](Qt::Key key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(w.JobsList(), &event);
    };
    w.SelectRow(0);
    press(Qt::Key_Up);
    EXPECT_EQ(w.SelectedRow(), 0);
    press(Qt::Key_Down);
    EXPECT_EQ(w.SelectedRow(), 1);
    press(Qt::Key_Down);
    EXPECT_EQ(w.SelectedRow(), 1);
    press(Qt::Key_Home);
    EXPECT_EQ(w.SelectedRow(), 1);
}

TEST_F(MainWindowTest, TheLogDropDownListsTheJobsLogs) {
    for (int i = 0; i < 45; ++i)
        first->LogList.append(u"2025-01-%1 10;00;00"_s.arg(i % 28 + 1, 2, 10, QChar(u'0')) +
                              QString::number(i));
    TfrmMainOrvellaBackup& w = Window();
    w.SelectRow(0);
    auto* button = w.findChild<QToolButton*>(u"btViewLog"_s);
    ASSERT_NE(button, nullptr);
    ASSERT_NE(button->menu(), nullptr);
    QMetaObject::invokeMethod(button->menu(), "aboutToShow", Qt::DirectConnection);
    const QList<QAction*> items = button->menu()->actions();
    ASSERT_EQ(items.size(), 30);
    EXPECT_EQ(items.first()->text(), QString(first->LogList[15]).replace(u';', u':'));
    items.last()->trigger();
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_TRUE(prompt.asked.first().startsWith(u"Message: Log file does not exist: "_s));
}

TEST_F(MainWindowTest, TheEventsPanelFollowsTheNewestLineUnlessItHasTheFocus) {
    GlobalOptions().Logging.MaxNumberOfLinesInEventsLog = 40;
    TfrmMainOrvellaBackup& w = Window();
    w.show();
    QApplication::setActiveWindow(&w);
    auto* memo = w.findChild<QPlainTextEdit*>(u"Memo1"_s);
    ASSERT_NE(memo, nullptr);
    for (int i = 0; i < 60; ++i)
        AddToEventsLog(u"line %1"_s.arg(i));
    Tick();
    EXPECT_EQ(memo->document()->blockCount(), 40);
    EXPECT_TRUE(memo->toPlainText().endsWith(u"line 59"_s));
    QScrollBar* scroll = memo->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    EXPECT_EQ(scroll->value(), scroll->maximum());

    memo->setFocus();
    if (!memo->hasFocus())
        GTEST_SKIP() << "the platform gives no keyboard focus";
    scroll->setValue(0);
    AddToEventsLog(u"one more"_s);
    Tick();
    EXPECT_EQ(scroll->value(), 0);
    EXPECT_TRUE(memo->toPlainText().endsWith(u"one more"_s));
}

} // namespace
} // namespace morvane
