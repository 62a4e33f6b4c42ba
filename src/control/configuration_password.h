#pragma once

#include "control/user_prompt.h"

#include <QString>

#include <optional>

namespace morvane {

// The text with blanks and control characters removed at both ends, as typed passwords are taken.
QString TrimBlanksAndControls(const QString& text);

// True when the typed text, trimmed at both ends, equals the stored configuration password exactly.
bool ConfigurationPasswordMatches(const QString& typed, const QString& storedPassword);

// The password-entry window: the typed text, or nothing when the user cancels.
class IPasswordEntry {
public:
    virtual ~IPasswordEntry() = default;
    virtual std::optional<QString> EnterPassword() = 0;
};

enum class TUnlockResult { Unlocked, Cancelled, WrongPassword };

// Asks for the configuration password before the main window shows (at start and from the tray). A
// wrong password is reported with "Invalid password"; a cancel ends quietly.
TUnlockResult UnlockConfiguration(IPasswordEntry& entry, IUserPrompt& prompt, const QString& storedPassword);

} // namespace morvane
