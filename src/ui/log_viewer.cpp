#include "ui/log_viewer.h"

#include "i18n/translation.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

namespace morvane {

TfrmLog::TfrmLog(IUserPrompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt), text_(new QPlainTextEdit(this)), counters_(new QWidget(this)),
      errorsLabel_(new QLabel(counters_)), warningsLabel_(new QLabel(counters_)),
      nextError_(new QToolButton(counters_)), nextWarning_(new QToolButton(counters_)),
      font_(new QPushButton(this)), saveAs_(new QPushButton(this)) {
    setObjectName(QStringLiteral("frmLog"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);
    resize(860, 560);

    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Keeps the caret visible in a read-only text, so navigation shows where it is.
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    nextError_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    nextWarning_->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    auto* countersLayout = new QHBoxLayout(counters_);
    countersLayout->setContentsMargins(0, 0, 0, 0);
    countersLayout->addWidget(errorsLabel_);
    countersLayout->addWidget(nextError_);
    countersLayout->addSpacing(24);
    countersLayout->addWidget(warningsLabel_);
    countersLayout->addWidget(nextWarning_);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(counters_);
    bottom->addStretch();
    bottom->addWidget(font_);
    bottom->addWidget(saveAs_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_, 1);
    layout->addLayout(bottom);

    connect(nextError_, &QToolButton::clicked, this, &TfrmLog::GoToNextError);
    connect(nextWarning_, &QToolButton::clicked, this, &TfrmLog::GoToNextWarning);
    connect(font_, &QPushButton::clicked, this, &TfrmLog::ChooseFont);
    connect(saveAs_, &QPushButton::clicked, this, &TfrmLog::SaveCopy);
    Fill(TLogReport());
}

void TfrmLog::Retranslate() {
    font_->setText(Translate(QStringLiteral("Font...")));
    saveAs_->setText(Translate(QStringLiteral("Save As...")));
    nextError_->setToolTip(Translate(QStringLiteral("Next error")));
    nextError_->setAccessibleName(nextError_->toolTip());
    nextWarning_->setToolTip(Translate(QStringLiteral("Next warning")));
    nextWarning_->setAccessibleName(nextWarning_->toolTip());
}

void TfrmLog::SetBusy(bool busy) {
    if (busy == busy_)
        return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfrmLog::ShowReport(const QString& path, bool showErrorsWarningsControls) {
    StartLoading(path, showErrorsWarningsControls);
    show();
}

void TfrmLog::StartLoading(const QString& path, bool showErrorsWarningsControls) {
    Retranslate();
    SetBusy(true);
    const quint64 request = ++request_;
    // The file is read on a worker; the window stays responsive meanwhile.
    LoadLogReportInBackground(
        path, showErrorsWarningsControls, this, [this, request, path](std::optional<TLogReport> report) {
            if (request != request_)
                return; // a later request replaced this one
            SetBusy(false);
            if (!report) {
                reject();
                prompt_.ShowError(Translate(QStringLiteral("Unable to read the file:")) + u' ' + path);
                return;
            }
            Fill(std::move(*report));
            Q_EMIT loaded();
        });
}

void TfrmLog::OpenReport(const QString& path, bool showErrorsWarningsControls) {
    if (isVisible())
        hide(); // a window shown without waiting becomes modal only when shown anew
    // The answer arrives queued, so it finds the window's own event loop running.
    StartLoading(path, showErrorsWarningsControls);
    exec();
}

void TfrmLog::Fill(TLogReport report) {
    report_ = std::move(report);
    // The whole text at once: a line-by-line append is far slower for long logs.
    text_->setPlainText(report_.Text());
    text_->moveCursor(QTextCursor::Start);
    text_->ensureCursorVisible();
    nextError_->setEnabled(report_.ErrorCount() > 0);
    nextWarning_->setEnabled(report_.WarningCount() > 0);
    errorsLabel_->setText(report_.ErrorsCaption());
    warningsLabel_->setText(report_.WarningsCaption());
    counters_->setVisible(report_.IsRunLog());
    setWindowTitle(report_.Title());
}

int TfrmLog::CurrentLine() const {
    return text_->textCursor().blockNumber();
}

void TfrmLog::SelectLine(int line) {
    const QTextBlock block = text_->document()->findBlockByNumber(line);
    if (!block.isValid())
        return;
    QTextCursor cursor(block);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    text_->setTextCursor(cursor);
    text_->ensureCursorVisible();
}

void TfrmLog::GoToNextError() {
    if (const std::optional<int> line = report_.NextError(CurrentLine()))
        SelectLine(*line);
}

void TfrmLog::GoToNextWarning() {
    if (const std::optional<int> line = report_.NextWarning(CurrentLine()))
        SelectLine(*line);
}

void TfrmLog::ChooseFont() {
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, text_->font(), this);
    if (ok)
        text_->setFont(chosen);
}

void TfrmLog::SaveCopy() {
    const std::optional<QString> target =
        prompt_.ChooseSaveFile(Translate(QStringLiteral("Save As")),
                               Translate(QStringLiteral("Text Files (*.txt)")), report_.LogFileName());
    if (!target)
        return;
    const QString path = *target;
    SaveTextInBackground(path, report_.Lines(), this, [this, path](bool written) {
        if (!written)
            prompt_.ShowError(Translate(QStringLiteral("Unable to write the file:")) + u' ' + path);
        Q_EMIT saveFinished(written);
    });
}

} // namespace morvane
