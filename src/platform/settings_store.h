#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace morvane {

// The per-user settings key of the program (interface language, window placement): an INI file in the
// user's configuration folder, beside (not inside) the application directory. The key exists once
// something has been written to it.
class SettingsStore {
public:
    // The store at its usual place.
    SettingsStore();
    explicit SettingsStore(QString iniPath) : path_(std::move(iniPath)) {}

    // The value, or nothing when the key or the value does not exist or the file cannot be read.
    std::optional<QString> ReadString(const QString& name) const;
    // Writes the value, creating the key when missing; false when the file cannot be written.
    bool WriteString(const QString& name, const QString& value) const;

    const QString& Path() const { return path_; }

private:
    QString path_;
};

} // namespace morvane
