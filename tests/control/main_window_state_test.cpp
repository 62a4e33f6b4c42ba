// The events panel, the status bar counters and the window placement.

#include "control/events_model.h"
#include "control/status_bar_texts.h"
#include "control/window_placement.h"

#include "fixtures/temp_home.h"
#include "options/options.h"
#include "scripted_prompt.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class MainWindowStateTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        GlobalOptions() = DefaultOptions();
    }
};

QStringList Texts(const QStringList& lines) {
    QStringList texts;
    for (const QString& line : lines)
        texts.append(line.mid(line.indexOf(u": "_s) + 2));
    return texts;
}

TEST_F(MainWindowStateTest, TheEventsPanelKeepsTheNewestLinesUpToTheLimit) {
    GlobalOptions().Logging.MaxNumberOfLinesInEventsLog = 3;
    TEventsModel events;
    EXPECT_FALSE(events.Flush());
    AddToEventsLog(u"one"_s);
    AddToEventsLog(u"two"_s);
    EXPECT_TRUE(events.Flush());
    EXPECT_EQ(Texts(events.Lines()), (QStringList{u"one"_s, u"two"_s}));
    for (const char* text : {"three", "four", "five"})
        AddToEventsLog(QString::fromLatin1(text));
    EXPECT_TRUE(events.Flush());
    EXPECT_EQ(Texts(events.Lines()), (QStringList{u"three"_s, u"four"_s, u"five"_s}));

    // A lower limit trims at the next tick even without new lines.
    GlobalOptions().Logging.MaxNumberOfLinesInEventsLog = 1;
    EXPECT_TRUE(events.Flush());
    EXPECT_EQ(Texts(events.Lines()), QStringList{u"five"_s});
    GlobalOptions().Logging.MaxNumberOfLinesInEventsLog = 0;
    events.Flush();
    EXPECT_TRUE(events.Lines().isEmpty());
}

TEST_F(MainWindowStateTest, SavingTheEventsWritesUtf8ToTheChosenFile) {
    TEventsModel events;
    AddToEventsLog(u"Sicherung „Docs“ beendet"_s);
    events.Flush();
    test::ScriptedPrompt prompt;
    const QString chosen = HomePath(u"events"_s);
    prompt.Push(chosen);
    EXPECT_TRUE(events.SaveToFile(prompt));
    EXPECT_EQ(prompt.asked, QStringList{u"ChooseSaveFile: Save to file..."_s});
    // The default extension is added to a name typed without one.
    const QByteArray bytes = testing::ReadFileBytes(chosen + u".txt"_s);
    EXPECT_TRUE(bytes.contains(u"Sicherung „Docs“ beendet"_s.toUtf8()));

    prompt.Cancel();
    EXPECT_FALSE(events.SaveToFile(prompt));

    prompt.Push(HomePath(u"no-such-folder/e.txt"_s));
    EXPECT_FALSE(events.SaveToFile(prompt));
    EXPECT_TRUE(prompt.asked.last().startsWith(u"Error: "_s)) << prompt.asked.last().toStdString();
}

TEST_F(MainWindowStateTest, StatusTextsChangeOnlyWhenACountDoes) {
    TStatusBarTexts texts;
    EXPECT_TRUE(texts.Update({3, 1, 2}));
    EXPECT_EQ(texts.Jobs(), u"Jobs: 3"_s);
    EXPECT_EQ(texts.Running(), u"Running: 1"_s);
    EXPECT_EQ(texts.Cancelled(), u"Cancelled: 2"_s);
    EXPECT_FALSE(texts.Update({3, 1, 2}));
    EXPECT_TRUE(texts.Update({3, 0, 2}));
    EXPECT_EQ(texts.Running(), u"Running: 0"_s);

    Catalogue().Table = {{u"English"_s, u"en"_s, u"Jobs"_s}, {u"Deutsch"_s, u"de"_s, u"Aufträge"_s}};
    Catalogue().CurrentLanguageIndex = 1;
    EXPECT_TRUE(texts.Retranslate());
    EXPECT_EQ(texts.Jobs(), u"Aufträge: 3"_s);
    EXPECT_EQ(TStatusBarTexts::WidestJobs(), u"Aufträge: 1000"_s);
}

TEST_F(MainWindowStateTest, ThePlacementSurvivesARoundTrip) {
    const SettingsStore settings(HomePath(u"config/settings.ini"_s));
    TWindowPlacement placement;
    placement.X = -20;
    placement.Y = 40;
    placement.Width = 1024;
    placement.Height = 700;
    placement.Maximised = true;
    placement.EventsHeight = 160;
    placement.Save(settings);

    const TWindowPlacement loaded = TWindowPlacement::Load(settings);
    EXPECT_EQ(loaded.X, -20);
    EXPECT_EQ(loaded.Y, 40);
    EXPECT_EQ(loaded.Width, 1024);
    EXPECT_EQ(loaded.Height, 700);
    EXPECT_EQ(loaded.Maximised, true);
    EXPECT_EQ(loaded.EventsHeight, 160);
    EXPECT_EQ(settings.ReadString(u"view_as_cards"_s), u"0"_s);
    EXPECT_EQ(settings.ReadString(u"events_visible"_s), u"1"_s);
}

TEST_F(MainWindowStateTest, MissingOrOddValuesLeaveTheDesignedPlacement) {
    const SettingsStore absent(HomePath(u"config/none.ini"_s));
    EXPECT_FALSE(TWindowPlacement::Load(absent).AnyStored());
    EXPECT_FALSE(QFile::exists(absent.Path())) << "loading must not create the key";

    const SettingsStore partial(HomePath(u"config/partial.ini"_s));
    partial.WriteString(u"window_w"_s, u"800"_s);
    partial.WriteString(u"window_h"_s, u"tall"_s);
    partial.WriteString(u"window_m"_s, u"2"_s);
    const TWindowPlacement loaded = TWindowPlacement::Load(partial);
    EXPECT_TRUE(loaded.AnyStored());
    EXPECT_EQ(loaded.Width, 800);
    EXPECT_FALSE(loaded.Height.has_value());
    EXPECT_FALSE(loaded.X.has_value());
    EXPECT_FALSE(loaded.EventsHeight.has_value());
    // Any value other than 1 makes the window normal.
    EXPECT_EQ(loaded.Maximised, false);
}

} // namespace
} // namespace morvane
