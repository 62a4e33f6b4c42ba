#pragma once

#include <QString>
#include <QStringList>

namespace morvane {

// Appends date-time-now + ": " + text to the pending events; callable from any thread. The text is
// already translated by the caller.
void AddToEventsLog(const QString& text);

// Takes every pending line, oldest first, leaving the pending list empty.
QStringList TakePendingEvents();

} // namespace morvane

namespace morvane {

// The lines of the events panel: filled from the pending events once per scheduler tick and trimmed
// to the options' limit. Used on the user-interface thread only; the window shows it.
class TEventsPanel {
public:
    // Moves every pending line in, in order, then deletes the oldest beyond maxLines. True when the
    // lines changed.
    bool FlushEventsLog(int maxLines);
    // Adds a line as it is, without a time stamp.
    void Append(const QString& line) { lines_.append(line); }
    const QStringList& Lines() const { return lines_; }
    // Writes the lines to a UTF-8 text file; false on failure.
    bool SaveToFile(const QString& path) const;

private:
    QStringList lines_;
};

} // namespace morvane
