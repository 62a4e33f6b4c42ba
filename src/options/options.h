#pragma once

#include "i18n/translation.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace morvane {

struct TLanguageOptions {
    QString LanguageOfInterface;    // two-letter code kept in the options file
    int32_t iLanguage = 0;          // column of the catalogue's current language; not stored
    TTranslationTable Translations; // copy of the catalogue's table; not stored
};

struct TGeneralOptions {
    bool RunProgramAtLogon = true;
    bool BlockSleepModeifJobIsScheduled = true;
    bool ProtectConfigurationbyPassword = false;
    QString strProtectConfiguration_Password;
    int32_t ProcessPriority = 1; // 0 idle, 1 normal, 2 high, 3 realtime
    QString PathForTempFiles;
};

struct TLoggingOptions {
    int32_t MaxNumberOfLogsForEachJob = 20;
    int32_t MaxNumberOfLinesInHistory = 500;
    int32_t MaxNumberOfLinesInEventsLog = 50;
    bool DontLogCopyingInternalFiles = false;
    QString PathForLogFiles;
};

struct TProcessingOptions {
    bool RunOnlyOneJobAtATime = false;
    int32_t IfDestinationNotAvailable_Retry_Times = 5;
    int32_t IfDestinationNotAvailable_Wait_Sec = 60;
    int32_t IfDestinationNotAvailable_Then = 0; // 0 cancel the job, 1 pause it
    bool PreventOtherAppsFromWritingDuringZipping = false;
    bool RemovePreviousBackupIfCancelled = true;
    bool DontUseBufferingForCopyOperations = false;
    bool SkipHiddenSystemFiles = false;
    bool SkipLockedFiles = false;
};

// Plain values throughout: a copy of a TOptions shares nothing with the original that a change to
// either could reach, which is what lets a worker read its job's copy without a lock.
struct TOptions {
    TLanguageOptions Language;
    TGeneralOptions General;
    TLoggingOptions Logging;
    TProcessingOptions Processing;
    QStringList ExcludedDirs; // one directory per entry, no trailing separator
};

// The default language code for a primary UI language identifier (low byte of the system's UI
// language: German 7, French 12, …).
QString DefaultLanguageOfInterface(int primaryLanguageId);

// Every field at its default; the paths follow the current user's folders and the program state's
// TempFolderName. The excluded directories start empty (they are seeded from the default list file).
TOptions DefaultOptions();

// The one global options record, read and written on the user-interface thread only.
TOptions& GlobalOptions();

} // namespace morvane
