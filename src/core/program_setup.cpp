#include "core/program_setup.h"

#include "formats/events_log.h"
#include "i18n/translation.h"
#include "platform/program_state.h"
#include "platform/special_folders.h"

#include <QDir>
#include <QFileInfo>

namespace morvane {

namespace {

bool PrepareOne(const QString& path, bool privateFolder, QString* errorBoxText) {
    const bool existed = QFileInfo(path).isDir();
    const bool ready = privateFolder ? CreatePrivateDirectory(path) : (existed || QDir().mkpath(path));
    if (ready) {
        if (!existed)
            AddToEventsLog(Translate(QStringLiteral("Application directory is created:")) + u' ' + path);
        return true;
    }
    const QString error = Translate(QStringLiteral("ERROR: Unable to create application directory:"));
    AddToEventsLog(error + u' ' + path);
    if (errorBoxText)
        *errorBoxText = error + path + QStringLiteral("\r\n\r\n") +
                        Translate(QStringLiteral(
                            "Please make sure the directory is accessible, and restart the program."));
    Program().ClosingRequested = true;
    return false;
}

} // namespace

bool PrepareApplicationDirectories(QString* errorBoxText) {
    const ProgramState& state = Program();
    return PrepareOne(state.ApplicationDirectory, true, errorBoxText) &&
           PrepareOne(state.CommonApplicationDirectory, false, errorBoxText);
}

} // namespace morvane
