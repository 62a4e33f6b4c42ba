#pragma once

#include "control/user_prompt.h"

#include <QMessageBox>

class QWidget;

namespace morvane {

// The kinds of the translated message box; each gives the box its icon and caption.
enum class TMessageKind { Warning, Error, Information, Confirmation, Plain };

// The translated message box: the caption is the kind's translated name ("Error", "Confirm", ...; the
// application's title for a plain message) and every button carries its translated text. Modal;
// returns the button that closed it.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text, TMessageKind kind,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// Answers the program's questions with dialogs and message boxes, parented to `parent` when given.
class TWidgetPrompt final : public IUserPrompt {
public:
    explicit TWidgetPrompt(QWidget* parent = nullptr) : parent_(parent) {}

    std::optional<QString> ChooseFolder(const QString& title, const QString& startFolder) override;
    std::optional<QString> ChooseSaveFile(const QString& title, const QString& filter,
                                          const QString& proposedName) override;
    std::optional<int> ChooseItem(const QString& title, const QString& prompt,
                                  const QStringList& items) override;
    bool Confirm(const QString& text) override;
    void ShowError(const QString& text) override;
    void ShowInformation(const QString& text) override;
    void ShowMessage(const QString& text) override;
    std::optional<QString> AskText(const QString& caption, const QString& prompt, const QString& initialText,
                                   bool secret) override;

private:
    QWidget* parent_;
};

} // namespace morvane
