#pragma once

#include <QString>

namespace morvane::imager {

// Everything the tool prints goes to standard output, one line at a time and flushed at once: the
// program that drives the tool reads the lines through a pipe while the tool is still working.
void PrintLine(const QString& text);
// "ERROR <text>"; the caller's classifier counts every line holding "ERROR" as an error.
void PrintError(const QString& text);
// "<status>, copied (<percent>%)."
void PrintProgress(const QString& status, int percent);
void PrintBanner();

// The system's text for an errno value.
QString SystemErrorText(int errorNumber);

} // namespace morvane::imager
