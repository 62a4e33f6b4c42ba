#include "control/command_line.h"

namespace morvane {

const QString TCommandLine::JobFileExtension = QStringLiteral(".bmj");

namespace {

// The word after the switch mark, or empty when the argument is no switch.
QString SwitchWord(const QString& argument) {
    if (argument.startsWith(u"--"))
        return argument.mid(2);
    if (argument.startsWith(u'/') || argument.startsWith(u'-'))
        return argument.mid(1);
    return QString();
}

} // namespace

TCommandLine::TCommandLine(const QStringList& arguments) : arguments_(arguments) {}

bool TCommandLine::HasSwitch(const QString& word) const {
    for (const QString& argument : arguments_) {
        const QString found = SwitchWord(argument);
        if (!found.isEmpty() && found.compare(word, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool TCommandLine::StartedElevated() const {
    return HasSwitch(QStringLiteral("backup")) || HasSwitch(QStringLiteral("restore")) ||
           HasSwitch(QStringLiteral("remove")) || HasSwitch(QStringLiteral("admin"));
}

bool IsJobFilePath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString fileName = path.mid(slash + 1);
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot >= 0 && fileName.mid(dot) == TCommandLine::JobFileExtension;
}

bool TCommandLine::FirstArgumentIsJobFile() const {
    return !FirstArgument().isEmpty() && IsJobFilePath(FirstArgument());
}

TFirstShowVerb TCommandLine::FirstShowVerb() const {
    if (HasSwitch(QStringLiteral("restore")))
        return TFirstShowVerb::Restore;
    if (HasSwitch(QStringLiteral("backup")))
        return TFirstShowVerb::Backup;
    if (HasSwitch(QStringLiteral("remove")))
        return TFirstShowVerb::Remove;
    if (FirstArgumentIsJobFile())
        return TFirstShowVerb::ImportJobFile;
    return TFirstShowVerb::None;
}

} // namespace morvane
