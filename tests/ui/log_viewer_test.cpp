#include "ui/log_viewer.h"

#include "fixtures/temp_home.h"
#include "scripted_prompt.h"
#include "ui_test_support.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class LogViewerTest : public testing::TempHomeTest {
protected:
    QString WriteLog(const QString& name, const QByteArray& bytes) {
        const QString path = HomePath(u"logs/"_s + name);
        testing::WriteFileBytes(path, bytes);
        return path;
    }
    // Shows the report and waits until its text is in.
    static void ShowAndWait(TfrmLog& viewer, const QString& path, bool runLog) {
        QSignalSpy loaded(&viewer, &TfrmLog::loaded);
        viewer.ShowReport(path, runLog);
        ASSERT_TRUE(loaded.wait(30000));
    }
    static QString SelectedText(const TfrmLog& viewer) {
        return viewer.TextArea()->textCursor().selectedText();
    }

    test::ScriptedPrompt prompt;
};

TEST_F(LogViewerTest, RunLogShowsCountsAndWalksTheMarkedLines) {
    TfrmLog viewer(prompt);
    ShowAndWait(viewer,
                WriteLog(u"2024-03-05 14;30;00.txt"_s,
                         "10:00:01: ERROR: X\r\n10:00:02: WARNING: Y\r\n10:00:03: ERROR: Z\r\n"),
                true);
    EXPECT_EQ(viewer.windowTitle(), u"Log: 2024-03-05 14:30:00");
    EXPECT_FALSE(viewer.CountersPanel()->isHidden());
    EXPECT_EQ(viewer.ErrorsLabel()->text(), u"Errors: 2");
    EXPECT_EQ(viewer.WarningsLabel()->text(), u"Warnings: 1");
    EXPECT_TRUE(viewer.NextErrorButton()->isEnabled());
    EXPECT_TRUE(viewer.NextWarningButton()->isEnabled());
    EXPECT_EQ(viewer.TextArea()->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(viewer.TextArea()->isReadOnly());
    EXPECT_EQ(viewer.CurrentLine(), 0);
    EXPECT_FALSE(viewer.TextArea()->textCursor().hasSelection());

    viewer.NextErrorButton()->click();
    EXPECT_EQ(viewer.CurrentLine(), 2);
    EXPECT_EQ(SelectedText(viewer), u"10:00:03: ERROR: Z");
    viewer.NextErrorButton()->click();
    EXPECT_EQ(viewer.CurrentLine(), 0) << "wraps to the first";
    EXPECT_EQ(SelectedText(viewer), u"10:00:01: ERROR: X");
    viewer.NextWarningButton()->click();
    EXPECT_EQ(SelectedText(viewer), u"10:00:02: WARNING: Y");
    viewer.close();
}

TEST_F(LogViewerTest, UnmarkedLogAndHistory) {
    TfrmLog viewer(prompt);
    ShowAndWait(viewer, WriteLog(u"2024-03-05 14;30;00.txt"_s, "10:00:01: fine\r\n"), true);
    EXPECT_EQ(viewer.ErrorsLabel()->text(), u"Errors: 0");
    EXPECT_EQ(viewer.WarningsLabel()->text(), u"Warnings: 0");
    EXPECT_FALSE(viewer.NextErrorButton()->isEnabled());
    EXPECT_FALSE(viewer.NextWarningButton()->isEnabled());

    // The same window, reused for a history: no counters whatever it holds.
    ShowAndWait(viewer, WriteLog(u"Job.txt"_s, "ERROR: a\r\nWARNING: b\r\n"), false);
    EXPECT_EQ(viewer.windowTitle(), u"History");
    EXPECT_TRUE(viewer.CountersPanel()->isHidden());
    EXPECT_EQ(viewer.TextArea()->toPlainText(), u"ERROR: a\nWARNING: b");
    viewer.close();
}

TEST_F(LogViewerTest, OpenReportIsModalAndAnUnreadableFileIsReported) {
    TfrmLog viewer(prompt);
    const QString path = WriteLog(u"2024-03-05 14;30;00.txt"_s, "ERROR: a\r\n");
    test::OnNextModal<TfrmLog>([](TfrmLog* w) {
        QTest::qWaitFor([w] { return !w->Report().Lines().isEmpty(); });
        EXPECT_EQ(w->ErrorsLabel()->text(), u"Errors: 1");
        w->close();
    });
    viewer.OpenReport(path, true);
    EXPECT_FALSE(viewer.isVisible());

    viewer.OpenReport(HomePath(u"missing.txt"_s), true); // closes itself once the read fails
    EXPECT_FALSE(viewer.isVisible());
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_TRUE(prompt.asked[0].startsWith(u"Error: Unable to read the file: "));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(LogViewerTest, SaveAsProposesTheFileNameAndWritesTheText) {
    TfrmLog viewer(prompt);
    ShowAndWait(viewer, WriteLog(u"2024-03-05 14;30;00.txt"_s, "a\r\nb\r\n"), true);
    const QString copy = HomePath(u"copy"_s);
    prompt.Push(copy);
    prompt.Cancel();
    QSignalSpy saved(&viewer, &TfrmLog::saveFinished);
    viewer.SaveAsButton()->click();
    ASSERT_TRUE(saved.wait(30000));
    EXPECT_TRUE(saved.first().first().toBool());
    EXPECT_EQ(testing::ReadFileBytes(copy), "\xEF\xBB\xBF"
                                            "a\r\nb\r\n");
    EXPECT_EQ(prompt.asked.first(), u"ChooseSaveFile: Save As");

    viewer.SaveAsButton()->click(); // cancelled: nothing written, nothing reported
    EXPECT_EQ(prompt.asked.size(), 2);
    viewer.close();
}

TEST_F(LogViewerTest, LongLogLoadsWhole) {
    QByteArray bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += QByteArray::number(i) + (i % 1000 == 7 ? ": ERROR: failed to copy a file\r\n"
                                                        : ": copying /home/someone/Documents/a file.txt\r\n");
    ASSERT_GT(bytes.size(), 1000000);
    TfrmLog viewer(prompt);
    ShowAndWait(viewer, WriteLog(u"2024-03-05 14;30;00.txt"_s, bytes), true);
    EXPECT_EQ(viewer.TextArea()->document()->blockCount(), 20000);
    EXPECT_EQ(viewer.ErrorsLabel()->text(), u"Errors: 20");
    viewer.NextErrorButton()->click();
    EXPECT_EQ(viewer.CurrentLine(), 7);
    viewer.close();
}

} // namespace
} // namespace morvane
