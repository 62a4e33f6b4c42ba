#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane::imager {

enum class Verb { StartBackup, DeleteBackup, StopJob };

struct Command {
    Verb verb = Verb::StopJob;
    QString target;      // -backupTarget, one pair of surrounding quotes removed
    QStringList volumes; // -include, split at commas
    int keepVersions = -1;
    bool credentialsGiven = false; // -user or -password; their values are never kept or printed
};

struct ParsedCommandLine {
    std::optional<Command> command;
    QString error; // set when command is empty
};

ParsedCommandLine ParseCommandLine(const QStringList& arguments);
QStringList UsageLines();

// True for "\\server\share\dir", "//server/share" and "smb://server/share".
bool IsNetworkLocation(const QString& path);
// True for a drive-letter form such as "C:" or "C:\", which names no volume on this system.
bool IsDriveLetterForm(const QString& path);

} // namespace morvane::imager
