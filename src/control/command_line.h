#pragma once

#include <QString>
#include <QStringList>

namespace morvane {

// The verb the first showing of the main window performs; one at most.
enum class TFirstShowVerb { None, Restore, Backup, Remove, ImportJobFile };

// The desktop program's command line. A switch is an argument starting with "/", "-" or "--"
// followed by the switch word in any letter case, anywhere on the line; the job name of the verbs is
// always the second argument.
class TCommandLine {
public:
    TCommandLine() = default;
    // `arguments` without the program name.
    explicit TCommandLine(const QStringList& arguments);

    static const QString JobFileExtension; // ".bmj", compared case-sensitively

    bool HasSwitch(const QString& word) const;
    bool Hide() const { return HasSwitch(QStringLiteral("hide")); }
    // One of the switches an elevated restart writes: such a process skips the single-instance test.
    bool StartedElevated() const;
    // The second argument, compared exactly with job names; empty when missing.
    QString JobName() const { return arguments_.size() > 1 ? arguments_.at(1) : QString(); }
    QString FirstArgument() const { return arguments_.isEmpty() ? QString() : arguments_.first(); }
    // The first argument when its extension (from the last "." of the file name) is ".bmj".
    bool FirstArgumentIsJobFile() const;

    // restore > backup > remove > job file.
    TFirstShowVerb FirstShowVerb() const;

    const QStringList& Arguments() const { return arguments_; }

private:
    QStringList arguments_;
};

// True when the extension of the file name in `path` (from its last ".", dot included) is ".bmj".
bool IsJobFilePath(const QString& path);

} // namespace morvane
