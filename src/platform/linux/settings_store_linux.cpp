#include "platform/settings_store.h"

#include "platform/paths.h"
#include "platform/special_folders.h"

#include <QFileInfo>
#include <QSettings>

namespace morvane {

namespace {
const QString KeyGroup = QStringLiteral("Morvane Backup");
}

SettingsStore::SettingsStore()
    : path_(JoinPath(ApplicationDataFolder(), QStringLiteral("morvane-backup.ini"))) {}

std::optional<QString> SettingsStore::ReadString(const QString& name) const {
    if (!QFileInfo(path_).isFile())
        return std::nullopt;
    QSettings settings(path_, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return std::nullopt;
    settings.beginGroup(KeyGroup);
    if (!settings.contains(name))
        return std::nullopt;
    return settings.value(name).toString();
}

bool SettingsStore::WriteString(const QString& name, const QString& value) const {
    QSettings settings(path_, QSettings::IniFormat);
    settings.beginGroup(KeyGroup);
    settings.setValue(name, value);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace morvane
