#pragma once

#include "control/user_prompt.h"

#include <QStringList>

#include <deque>
#include <variant>

namespace morvane::test {

// A user who answers from a script, in order, and records every question. A question with no
// scripted answer left cancels (or says No), so a test that forgets an answer sees the cautious path.
class ScriptedPrompt final : public IUserPrompt {
public:
    using Answer = std::variant<std::monostate, bool, int, QString>;

    // Queues the next answer (Push): a folder, file name or text (QString), an item index (int), Yes/No
    // (bool), or a cancel (std::monostate).
    void Push(Answer answer) { answers_.push_back(std::move(answer)); }
    void Cancel() { answers_.push_back(std::monostate{}); }

    // Every question as "Kind: text", in order.
    QStringList asked;
    // The text each AskText proposed, in order.
    QStringList proposed;
    bool AllAnswered() const { return answers_.empty(); }

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
    Answer Next();
    std::optional<QString> NextText();
    std::deque<Answer> answers_;
};

} // namespace morvane::test
