#pragma once

#include "control/log_report.h"
#include "control/report_viewer.h"
#include "control/user_prompt.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace morvane {

// The log and history viewer: one window for the application's life, reused by every OpenReport.
class TfrmLog final : public QDialog, public IReportViewer {
    Q_OBJECT
public:
    explicit TfrmLog(IUserPrompt& prompt, QWidget* parent = nullptr);

    // Shows the window modally once the file is read; a file that cannot be read is reported and the
    // window does not stay open.
    void OpenReport(const QString& path, bool showErrorsWarningsControls) override;
    // The same without waiting for the window to close; `loaded` fires once the text is in.
    void ShowReport(const QString& path, bool showErrorsWarningsControls);

    const TLogReport& Report() const { return report_; }
    QPlainTextEdit* TextArea() const { return text_; }
    QLabel* ErrorsLabel() const { return errorsLabel_; }
    QLabel* WarningsLabel() const { return warningsLabel_; }
    QToolButton* NextErrorButton() const { return nextError_; }
    QToolButton* NextWarningButton() const { return nextWarning_; }
    QWidget* CountersPanel() const { return counters_; }
    QPushButton* FontButton() const { return font_; }
    QPushButton* SaveAsButton() const { return saveAs_; }

    // The line holding the caret, counted from 0.
    int CurrentLine() const;

public Q_SLOTS:
    void GoToNextError();
    void GoToNextWarning();
    void ChooseFont();
    void SaveCopy();

Q_SIGNALS:
    void loaded();
    void saveFinished(bool written);

private:
    void Retranslate();
    void StartLoading(const QString& path, bool showErrorsWarningsControls);
    void Fill(TLogReport report);
    void SelectLine(int line);
    void SetBusy(bool busy);

    IUserPrompt& prompt_;
    TLogReport report_;
    quint64 request_ = 0;
    bool busy_ = false;
    QPlainTextEdit* text_;
    QWidget* counters_;
    QLabel* errorsLabel_;
    QLabel* warningsLabel_;
    QToolButton* nextError_;
    QToolButton* nextWarning_;
    QPushButton* font_;
    QPushButton* saveAs_;
};

} // namespace morvane
