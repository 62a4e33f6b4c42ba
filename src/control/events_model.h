#pragma once

#include "control/user_prompt.h"
#include "formats/events_log.h"

#include <QStringList>

namespace morvane {

// The lines of the events panel, on the user-interface thread. Flush() runs once per tick: it takes
// the pending events and trims from the top to the global options' limit. Whether the panel follows
// its newest line is the widget's (it does unless it has the keyboard focus).
class TEventsModel {
public:
    // True when the lines changed.
    bool Flush();
    const QStringList& Lines() const { return panel_.Lines(); }
    // Adds a line as it is, without a time stamp (the quit confirmation's text).
    void AppendLine(const QString& line) { panel_.Append(line); }
    // Asks for a file through the prompt and writes the lines to it as UTF-8 text; false when the user
    // cancelled or writing failed (which is reported).
    bool SaveToFile(IUserPrompt& prompt) const;

private:
    TEventsPanel panel_;
};

} // namespace morvane
