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
