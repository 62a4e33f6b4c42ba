#include "scripted_prompt.h"

namespace morvane::test {

ScriptedPrompt::Answer ScriptedPrompt::Next() {
    if (answers_.empty())
        return std::monostate{};
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

std::optional<QString> ScriptedPrompt::NextText() {
    const Answer answer = Next();
    if (const auto* text = std::get_if<QString>(&answer))
        return *text;
    return std::nullopt;
}

std::optional<QString> ScriptedPrompt::ChooseFolder(const QString& title, const QString&) {
    asked << QStringLiteral("ChooseFolder: ") + title;
    return NextText();
}

std::optional<QString> ScriptedPrompt::ChooseSaveFile(const QString& title, const QString&, const QString&) {
    asked << QStringLiteral("ChooseSaveFile: ") + title;
    return NextText();
}

std::optional<int> ScriptedPrompt::ChooseItem(const QString& title, const QString&,
                                              const QStringList& items) {
    asked << QStringLiteral("ChooseItem: ") + title + QStringLiteral(" [") +
                 items.join(QStringLiteral(" | ")) + QStringLiteral("]");
    const Answer answer = Next();
    if (const int* index = std::get_if<int>(&answer))
        return *index;
    return std::nullopt;
}

bool ScriptedPrompt::Confirm(const QString& text) {
    asked << QStringLiteral("Confirm: ") + text;
    const Answer answer = Next();
    const bool* yes = std::get_if<bool>(&answer);
    return yes && *yes;
}

void ScriptedPrompt::ShowError(const QString& text) {
    asked << QStringLiteral("Error: ") + text;
}
void ScriptedPrompt::ShowInformation(const QString& text) {
    asked << QStringLiteral("Information: ") + text;
}
void ScriptedPrompt::ShowMessage(const QString& text) {
    asked << QStringLiteral("Message: ") + text;
}

std::optional<QString> ScriptedPrompt::AskText(const QString& caption, const QString&,
                                               const QString& initialText, bool) {
    asked << QStringLiteral("AskText: ") + caption;
    proposed << initialText;
    return NextText();
}

} // namespace morvane::test
