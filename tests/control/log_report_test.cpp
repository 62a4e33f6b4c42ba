#include "control/log_report.h"

#include "fixtures/temp_home.h"
#include "i18n/translation.h"
#include "process_events.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class LogReportTest : public testing::TempHomeTest {
protected:
    // German markers and captions, as the shipped catalogue has them.
    void UseGerman() {
        Catalogue().Table = {
            {u"English"_s, u"en"_s, u"ERROR:"_s, u"WARNING:"_s, u"Errors"_s, u"Warnings"_s, u"Log"_s,
             u"History"_s},
            {u"Deutsch"_s, u"de"_s, u"FEHLER:"_s, u"WARNUNG:"_s, u"Fehler"_s, u"Warnungen"_s, u"Protokoll"_s,
             u"Verlauf"_s},
        };
        Catalogue().CurrentLanguageIndex = 1;
        Catalogue().CurrentLanguageCode = u"de"_s;
    }
    static TLogReport Report(const QStringList& lines, bool runLog = true) {
        return TLogReport(u"2024-03-05 14;30;00.txt"_s, lines, runLog, TLogMarkers::Current());
    }
};

struct CountCase {
    const char* name;
    QStringList lines;
    int errors;
    int warnings;
};

TEST_F(LogReportTest, CountsMarkedLinesOnceEach) {
    const CountCase cases[] = {
        {"none", {u"10:00:01: Copying"_s, u""_s}, 0, 0},
        {"mixed", {u"10:00:01: ERROR: X"_s, u"10:00:02: WARNING: Y"_s, u"10:00:03: ERROR: Z"_s}, 2, 1},
        {"both markers count as an error", {u"ERROR: a WARNING: b"_s, u"x WARNING: c"_s}, 1, 1},
        {"marker anywhere in the line", {u"file ERROR:.txt copied"_s}, 1, 0},
        {"case-sensitive", {u"error: x"_s, u"Warning: y"_s}, 0, 0},
        {"empty file", {}, 0, 0},
    };
    for (const CountCase& c : cases) {
        const TLogReport report = Report(c.lines);
        EXPECT_EQ(report.ErrorCount(), c.errors) << c.name;
        EXPECT_EQ(report.WarningCount(), c.warnings) << c.name;
    }
}

TEST_F(LogReportTest, OnlyTheMarkersOfTheInterfaceLanguageCount) {
    UseGerman();
    const TLogReport report = Report(
        {u"10:00:01: FEHLER: X"_s, u"10:00:02: ERROR: Y"_s, u"10:00:03: WARNUNG: Z"_s, u"WARNING: W"_s});
    EXPECT_EQ(report.ErrorCount(), 1);
    EXPECT_EQ(report.WarningCount(), 1);
    EXPECT_EQ(report.NextError(0), 0); // wraps round to the German line itself
    EXPECT_EQ(report.ErrorsCaption(), u"Fehler: 1");
    EXPECT_EQ(report.WarningsCaption(), u"Warnungen: 1");
    EXPECT_EQ(report.Title(), u"Protokoll: 2024-03-05 14:30:00");
    EXPECT_EQ(Report({}, false).Title(), u"Verlauf");
}

struct NextCase {
    const char* name;
    bool error; // false: next warning
    int current;
    std::optional<int> expected;
};

TEST_F(LogReportTest, NextMarkedLineSearchesDownThenWraps) {
    const TLogReport report = Report({
        u"10:00:01: ERROR: X"_s,          // 0
        u"10:00:02: WARNING: Y"_s,        // 1
        u"10:00:03: ERROR: Z"_s,          // 2
        u"10:00:04: done"_s,              // 3
        u"10:00:05: ERROR: WARNING: B"_s, // 4
    });
    const NextCase cases[] = {
        {"first error to the next", true, 0, 2},
        {"third error wraps to the last", true, 2, 4},
        {"last error wraps to the first", true, 4, 0},
        {"from a plain line", true, 3, 4},
        {"caret before any line", true, -1, 0},
        {"caret past the end clamps to the last line", true, 99, 0},
        {"warning reached also on an error line", false, 1, 4},
        {"warning wraps", false, 4, 1},
        {"only warning line is found from itself", false, 3, 4},
    };
    for (const NextCase& c : cases)
        EXPECT_EQ(c.error ? report.NextError(c.current) : report.NextWarning(c.current), c.expected)
            << c.name;

    const TLogReport single = Report({u"a"_s, u"ERROR: only"_s});
    EXPECT_EQ(single.NextError(1), 1) << "the search includes the current line after wrapping";
    EXPECT_EQ(single.NextWarning(0), std::nullopt);
    EXPECT_EQ(Report({}).NextError(0), std::nullopt);
}

TEST_F(LogReportTest, TitlesAndCaptions) {
    const TLogReport report = Report({u"ERROR: a"_s, u"ERROR: b"_s});
    EXPECT_EQ(report.Title(), u"Log: 2024-03-05 14:30:00");
    EXPECT_EQ(report.ErrorsCaption(), u"Errors: 2");
    EXPECT_EQ(report.WarningsCaption(), u"Warnings: 0");
    EXPECT_EQ(Report({}, false).Title(), u"History");
    EXPECT_EQ(TLogReport(u"a;b"_s, {}, true, TLogMarkers::Current()).Title(), u"Log: ")
        << "short names are safe";
}

TEST_F(LogReportTest, LoadsUtf8WithAnyLineEnds) {
    const QString path = HomePath(u"logs/2024-03-05 14;30;00.txt"_s);
    testing::WriteFileBytes(path, "\xEF\xBB\xBF"
                                  "10:00:01: ERROR: \xC3\xA4rger\r\n10:00:02: WARNING: Y\n10:00:03: ok\r");
    const std::optional<TLogReport> report = TLogReport::Load(path, true, TLogMarkers::Current());
    ASSERT_TRUE(report.has_value());
    EXPECT_EQ(report->LogFileName(), u"2024-03-05 14;30;00.txt");
    EXPECT_EQ(report->Lines(),
              QStringList({u"10:00:01: ERROR: ärger"_s, u"10:00:02: WARNING: Y"_s, u"10:00:03: ok"_s}));
    EXPECT_EQ(report->Text(), u"10:00:01: ERROR: ärger\n10:00:02: WARNING: Y\n10:00:03: ok");
    EXPECT_EQ(report->ErrorCount(), 1);
    EXPECT_EQ(report->WarningCount(), 1);

    EXPECT_FALSE(TLogReport::Load(HomePath(u"missing.txt"_s), true, TLogMarkers::Current()).has_value());
    EXPECT_FALSE(TLogReport::Load(HomePath(u"logs"_s), true, TLogMarkers::Current()).has_value())
        << "a folder is not a report";
}

TEST_F(LogReportTest, LoadsAndSavesOnAWorker) {
    const QString path = HomePath(u"history.txt"_s);
    testing::WriteFileBytes(path, "ERROR: a\r\nb\r\n");
    QObject context;
    std::optional<std::optional<TLogReport>> loaded;
    LoadLogReportInBackground(path, false, &context,
                              [&](std::optional<TLogReport> r) { loaded = std::move(r); });
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return loaded.has_value(); }));
    ASSERT_TRUE(loaded->has_value());
    EXPECT_FALSE((*loaded)->IsRunLog());
    EXPECT_EQ((*loaded)->ErrorCount(), 1);

    std::optional<bool> saved;
    const QString copy = HomePath(u"copy"_s);
    SaveTextInBackground(copy, (*loaded)->Lines(), &context, [&](bool ok) { saved = ok; });
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return saved.has_value(); }));
    EXPECT_TRUE(*saved);
    EXPECT_EQ(testing::ReadFileBytes(copy), "\xEF\xBB\xBF"
                                            "ERROR: a\r\nb\r\n")
        << "no extension is added";

    saved.reset();
    SaveTextInBackground(HomePath(u"no/such/folder/x.txt"_s), {u"a"_s}, &context,
                         [&](bool ok) { saved = ok; });
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return saved.has_value(); }));
    EXPECT_FALSE(*saved);

    loaded.reset();
    LoadLogReportInBackground(HomePath(u"missing.txt"_s), true, &context,
                              [&](std::optional<TLogReport> r) { loaded = std::move(r); });
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return loaded.has_value(); }));
    EXPECT_FALSE(loaded->has_value());
}

} // namespace
} // namespace morvane
