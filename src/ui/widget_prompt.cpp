#include "ui/widget_prompt.h"

#include "i18n/translation.h"
#include "platform/program_state.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QStandardPaths>

namespace morvane {

namespace {

QString CaptionFor(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Warning:
        return Translate(QStringLiteral("Warning"));
    case TMessageKind::Error:
        return Translate(QStringLiteral("Error"));
    case TMessageKind::Information:
        return Translate(QStringLiteral("Information"));
    case TMessageKind::Confirmation:
        return Translate(QStringLiteral("Confirm"));
    case TMessageKind::Plain:
        break;
    }
    return QString::fromUtf16(ApplicationTitle);
}

QMessageBox::Icon IconFor(TMessageKind kind) {
    switch (kind) {
    case TMessageKind::Warning:
        return QMessageBox::Warning;
    case TMessageKind::Error:
        return QMessageBox::Critical;
    case TMessageKind::Information:
        return QMessageBox::Information;
    case TMessageKind::Confirmation:
        return QMessageBox::Question;
    case TMessageKind::Plain:
        break;
    }
    return QMessageBox::NoIcon;
}

// The file dialogs' own button texts are only translated through Qt's catalogues, which the program
// does not ship; the two that matter carry ours.
void TranslateFileDialog(QFileDialog& dialog, const QString& acceptText) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setLabelText(QFileDialog::Accept, acceptText);
    dialog.setLabelText(QFileDialog::Reject, Translate(QStringLiteral("Cancel")));
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text, TMessageKind kind,
                                           QMessageBox::StandardButtons buttons) {
    QMessageBox box(IconFor(kind), CaptionFor(kind), text, buttons, parent);
    const std::pair<QMessageBox::StandardButton, QString> labels[] = {
        {QMessageBox::Ok, Translate(QStringLiteral("OK"))},
        {QMessageBox::Cancel, Translate(QStringLiteral("Cancel"))},
        {QMessageBox::Yes, Translate(QStringLiteral("Yes"))},
        {QMessageBox::No, Translate(QStringLiteral("No"))},
    };
    for (const auto& [which, label] : labels)
        if (QAbstractButton* button = box.button(which))
            button->setText(label);
    return QMessageBox::StandardButton(box.exec());
}

std::optional<QString> TWidgetPrompt::ChooseFolder(const QString& title, const QString& startFolder) {
    QFileDialog dialog(parent_, title, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    TranslateFileDialog(dialog, Translate(QStringLiteral("OK")));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

std::optional<QString> TWidgetPrompt::ChooseSaveFile(const QString& title, const QString& filter,
                                                     const QString& proposedName) {
    // A bare name opens in the user's documents folder rather than wherever the program was started.
    const QString proposed = QFileInfo(proposedName).isAbsolute()
                                 ? proposedName
                                 : QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                       .filePath(proposedName);
    QFileDialog dialog(parent_, title, proposed, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    TranslateFileDialog(dialog, Translate(QStringLiteral("Save")));
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

std::optional<int> TWidgetPrompt::ChooseItem(const QString& title, const QString& prompt,
                                             const QStringList& items) {
    if (items.isEmpty())
        return std::nullopt;
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    dialog.setOkButtonText(Translate(QStringLiteral("OK")));
    dialog.setCancelButtonText(Translate(QStringLiteral("Cancel")));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const int index = int(items.indexOf(dialog.textValue()));
    return index < 0 ? std::nullopt : std::optional<int>(index);
}

bool TWidgetPrompt::Confirm(const QString& text) {
    return ShowMessageBox(parent_, text, TMessageKind::Confirmation, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

void TWidgetPrompt::ShowError(const QString& text) {
    ShowMessageBox(parent_, text, TMessageKind::Error);
}

void TWidgetPrompt::ShowInformation(const QString& text) {
    ShowMessageBox(parent_, text, TMessageKind::Information);
}

void TWidgetPrompt::ShowMessage(const QString& text) {
    ShowMessageBox(parent_, text, TMessageKind::Plain);
}

std::optional<QString> TWidgetPrompt::AskText(const QString& caption, const QString& prompt,
                                              const QString& initialText, bool secret) {
    QInputDialog dialog(parent_);
    dialog.setWindowTitle(u' ' + caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(initialText);
    dialog.setTextEchoMode(secret ? QLineEdit::Password : QLineEdit::Normal);
    dialog.setOkButtonText(Translate(QStringLiteral("OK")));
    dialog.setCancelButtonText(Translate(QStringLiteral("Cancel")));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace morvane
