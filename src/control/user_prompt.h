#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// Every question the program asks its user. The desktop program answers with dialogs and message
// boxes, tests answer from a script. Calls come on the user-interface thread and return once the
// user has answered.
class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;

    // An existing folder, or nothing when the user cancels.
    virtual std::optional<QString> ChooseFolder(const QString& title, const QString& startFolder) = 0;
    // A file name to save to, or nothing when the user cancels. `filter` as in "Text Files (*.txt)".
    virtual std::optional<QString> ChooseSaveFile(const QString& title, const QString& filter,
                                                  const QString& proposedName) = 0;
    // The index of one of `items`, or nothing when the user cancels.
    virtual std::optional<int> ChooseItem(const QString& title, const QString& prompt,
                                          const QStringList& items) = 0;
    // A confirmation with Yes and No; true for Yes.
    virtual bool Confirm(const QString& text) = 0;
    // A message box with an OK button: an error, an information, or a plain message.
    virtual void ShowError(const QString& text) = 0;
    virtual void ShowInformation(const QString& text) = 0;
    virtual void ShowMessage(const QString& text) = 0;
    // A line of text, or nothing when the user cancels; `secret` hides what is typed.
    virtual std::optional<QString> AskText(const QString& caption, const QString& prompt,
                                           const QString& initialText, bool secret) = 0;
};

} // namespace morvane
