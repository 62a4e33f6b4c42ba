#include "control/configuration_password.h"

#include "i18n/translation.h"

namespace morvane {

QString TrimBlanksAndControls(const QString& text) {
    // Blanks and control characters are the codes up to and including the space.
    const auto blank = [](QChar c) {
        return c.unicode() <= u' ';
    };
    qsizetype first = 0;
    qsizetype end = text.size();
    while (first < end && blank(text[first]))
        ++first;
    while (end > first && blank(text[end - 1]))
        --end;
    return text.mid(first, end - first);
}

bool ConfigurationPasswordMatches(const QString& typed, const QString& storedPassword) {
    return TrimBlanksAndControls(typed) == storedPassword;
}

TUnlockResult UnlockConfiguration(IPasswordEntry& entry, IUserPrompt& prompt, const QString& storedPassword) {
    const std::optional<QString> typed = entry.EnterPassword();
    if (!typed)
        return TUnlockResult::Cancelled;
    if (ConfigurationPasswordMatches(*typed, storedPassword))
        return TUnlockResult::Unlocked;
    prompt.ShowError(Translate(QStringLiteral("Invalid password")));
    return TUnlockResult::WrongPassword;
}

} // namespace morvane
