#pragma once

#include "platform/date_time.h"

#include <QString>

#include <functional>

namespace morvane {

class TJob;
struct TOptions;

// --- Run-log lines: time of day + ": " + text ---------------------------------------------------------

// Appends the translated English text, then one space and the path when one is given.
void AddToRunLog(TJob& job, const QString& englishText, const QString& path = QString());
// Appends a text already in its final, translated form.
void AddTranslatedToRunLog(TJob& job, const QString& text);
// Appends the translated "ERROR:" or "WARNING:", one space and the text (already in its final form),
// and counts the line.
void AddErrorToRunLog(TJob& job, const QString& text);
void AddWarningToRunLog(TJob& job, const QString& text);

// --- Log files ---------------------------------------------------------------------------------------

// The run's start time as "yyyy-mm-dd hh;nn;ss": the stem of its log file.
QString LogFileStamp(TDateTime runStart);
// The stamp as shown to the user, with ":" in place of ";".
QString ShownLogStamp(const QString& stamp);

// A start whose stamp names no log of the job (in LogList or as a file) and which `taken`, when given,
// does not refuse: `start` itself when free, else the next second after waiting for it, else (the clock
// was set back past earlier runs) the first free second after that. Every run takes its start from
// here, so no two runs of a job share a log or a backup folder.
TDateTime UniqueRunStart(const TJob& job, TDateTime start,
                         const std::function<bool(const QString& stamp)>& taken = {});

QString JobLogFolder(const TJob& job);
QString RunLogFilePath(const TJob& job, const QString& stamp);

// Creates the job's log folder with its parents when missing. On failure adds the events line
// "Unable to create a folder for the log files:" (backup runs) or "Unable to create folder for log
// files:" (restore runs) with the path; the run goes on without saving its log.
bool PrepareLogFolder(TJob& job, bool restoreRun);

// The closing sequence of every run: writes the log file (when the log folder exists), records its
// stamp and prunes old logs, sets the end time, saves the job file unless the program is closing, and
// returns the job to jsNone.
void SaveRunLog(TJob& job, TDateTime runStart);

// --- History export ----------------------------------------------------------------------------------

QString HistoryExportPath(const TOptions& options, const QString& jobName);
// Writes the job's history for viewing, replacing the file; false on failure.
bool ExportHistory(const TJob& job, const TOptions& options);

} // namespace morvane
