#include "control/events_model.h"

#include "i18n/translation.h"
#include "options/options.h"

#include <QFileInfo>

namespace morvane {

bool TEventsModel::Flush() {
    return panel_.FlushEventsLog(GlobalOptions().Logging.MaxNumberOfLinesInEventsLog);
}

bool TEventsModel::SaveToFile(IUserPrompt& prompt) const {
    std::optional<QString> path =
        prompt.ChooseSaveFile(Translate(QStringLiteral("Save to file...")),
                              Translate(QStringLiteral("Text Files (*.txt)")), QStringLiteral("events.txt"));
    if (!path || path->isEmpty())
        return false;
    // The dialog's default extension: a name typed without one gets ".txt".
    if (QFileInfo(*path).suffix().isEmpty())
        path->append(QStringLiteral(".txt"));
    if (panel_.SaveToFile(*path))
        return true;
    prompt.ShowError(Translate(QStringLiteral("Unable to write the file:")) + u' ' + *path);
    return false;
}

} // namespace morvane
