#include "options/options_file.h"

#include "formats/encryptor.h"
#include "formats/events_log.h"
#include "formats/file_image.h"
#include "formats/text_file.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "platform/paths.h"
#include "platform/program_state.h"
#include "platform/special_folders.h"
#include "platform/system_effects.h"

#include <QFile>
#include <QSaveFile>

namespace morvane {

namespace {

// Versions from which a field is stored; older files lack it and keep the record's value.
constexpr int32_t SleepBlockingSince = 8;
constexpr int32_t DestinationThenSince = 6;
constexpr int32_t RemoveCancelledSince = 7;
constexpr int32_t SkipLockedSince = 3;
constexpr int32_t ExcludedDirsSince = 5;

void ReadBody(FileImageReader& r, TOptions& o) {
    const int32_t version = r.Int32();
    o.Language.LanguageOfInterface = r.String();
    o.General.RunProgramAtLogon = r.Bool8();
    o.General.ProtectConfigurationbyPassword = r.Bool8();
    if (version >= SleepBlockingSince)
        o.General.BlockSleepModeifJobIsScheduled = r.Bool8();
    o.General.strProtectConfiguration_Password = r.String();
    o.General.ProcessPriority = r.Int32();
    o.General.PathForTempFiles = r.String();
    o.Logging.MaxNumberOfLogsForEachJob = r.Int32();
    o.Logging.MaxNumberOfLinesInHistory = r.Int32();
    o.Logging.MaxNumberOfLinesInEventsLog = r.Int32();
    o.Logging.DontLogCopyingInternalFiles = r.Bool8();
    o.Logging.PathForLogFiles = r.String();
    o.Processing.RunOnlyOneJobAtATime = r.Bool8();
    o.Processing.IfDestinationNotAvailable_Retry_Times = r.Int32();
    o.Processing.IfDestinationNotAvailable_Wait_Sec = r.Int32();
    if (version >= DestinationThenSince)
        o.Processing.IfDestinationNotAvailable_Then = r.Int32();
    if (version >= RemoveCancelledSince)
        o.Processing.RemovePreviousBackupIfCancelled = r.Bool8();
    o.Processing.PreventOtherAppsFromWritingDuringZipping = r.Bool8();
    o.Processing.DontUseBufferingForCopyOperations = r.Bool8();
    o.Processing.SkipHiddenSystemFiles = r.Bool8();
    if (version >= SkipLockedSince)
        o.Processing.SkipLockedFiles = r.Bool8();
    if (version >= ExcludedDirsSince)
        o.ExcludedDirs.append(r.StringList());
}

QByteArray BuildBody(const TOptions& o) {
    FileImageWriter w;
    w.Int32(OptionsFileVersion);
    w.String(o.Language.LanguageOfInterface);
    w.Bool8(o.General.RunProgramAtLogon);
    w.Bool8(o.General.ProtectConfigurationbyPassword);
    w.Bool8(o.General.BlockSleepModeifJobIsScheduled);
    w.String(o.General.strProtectConfiguration_Password);
    w.Int32(o.General.ProcessPriority);
    w.String(o.General.PathForTempFiles);
    w.Int32(o.Logging.MaxNumberOfLogsForEachJob);
    w.Int32(o.Logging.MaxNumberOfLinesInHistory);
    w.Int32(o.Logging.MaxNumberOfLinesInEventsLog);
    w.Bool8(o.Logging.DontLogCopyingInternalFiles);
    w.String(o.Logging.PathForLogFiles);
    w.Bool8(o.Processing.RunOnlyOneJobAtATime);
    w.Int32(o.Processing.IfDestinationNotAvailable_Retry_Times);
    w.Int32(o.Processing.IfDestinationNotAvailable_Wait_Sec);
    w.Int32(o.Processing.IfDestinationNotAvailable_Then);
    w.Bool8(o.Processing.RemovePreviousBackupIfCancelled);
    w.Bool8(o.Processing.PreventOtherAppsFromWritingDuringZipping);
    w.Bool8(o.Processing.DontUseBufferingForCopyOperations);
    w.Bool8(o.Processing.SkipHiddenSystemFiles);
    w.Bool8(o.Processing.SkipLockedFiles);
    w.StringList(o.ExcludedDirs);
    return w.Bytes();
}

// Code 2: the file could not be opened or read; code 1: its content is damaged.
void ReportLoadError(int code) {
    AddToEventsLog(code == 2 ? Translate(QStringLiteral("Error loading options. Code: 2"))
                             : Translate(QStringLiteral("Error loading options. Code: 1")));
}

char16_t AsciiLower(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
}

} // namespace

QString OptionsFilePath() {
    return JoinPath(Program().ApplicationDirectory, QStringLiteral("options.qko"));
}

bool LoadOptions(TOptions& options, const QString& path) {
    QFile file(path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly)) {
        ReportLoadError(2);
        return false;
    }
    const QByteArray stored = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        ReportLoadError(2);
        return false;
    }
    try {
        FileImageReader reader(UnscrambleFileImage(stored));
        ReadBody(reader, options);
        return true;
    } catch (const FileImageError&) {
        ReportLoadError(1);
        return false;
    }
}

bool SaveOptions(const TOptions& options, const QString& path) {
    const QByteArray stored = ScrambleFileImage(BuildBody(options));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(stored) != stored.size())
        return false;
    return file.commit();
}

bool SetAutorun(bool enable) {
    if (WriteAutorunEntry(enable, JoinPath(ExecutableDirectory(), QStringLiteral("morvane-backup"))))
        return true;
    AddToEventsLog(Translate(QStringLiteral("Error writing to Registry. Make sure you have the rights.")));
    return false;
}

void ExpandEnvironmentVariables(QStringList& entries) {
    for (QString& entry : entries) {
        if (entry.isEmpty())
            continue;
        const qsizetype closing = entry.indexOf(u'%', 1);
        if (closing < 0)
            continue;
        const QString name = entry.mid(1, closing - 1);
        const QString value =
            name.isEmpty() ? QString() : qEnvironmentVariable(name.toLocal8Bit().constData());
        if (value.isEmpty())
            continue;
        const QString variable = u'%' + name + u'%';
        const qsizetype at = entry.indexOf(variable, 0, Qt::CaseInsensitive);
        if (at < 0)
            continue;
        QString expanded = entry.left(at) + value + entry.mid(at + variable.size());
        for (QChar& c : expanded)
            c = QChar(AsciiLower(c.unicode()));
        entry = expanded;
    }
}

void ApplyDefaultOptions(TOptions& options) {
    const TOptions defaults = DefaultOptions();
    const QStringList keptExcludedDirs = options.ExcludedDirs;
    const TLanguageOptions language = options.Language;
    options = defaults;
    options.Language.iLanguage = language.iLanguage;
    options.Language.Translations = language.Translations;
    options.ExcludedDirs = keptExcludedDirs;
    options.General.RunProgramAtLogon = SetAutorun(true);

    QFile list(FindDataFile(QStringLiteral("excluded-directories.txt")));
    if (list.open(QIODevice::ReadOnly))
        options.ExcludedDirs = SplitTextLines(list.readAll());
    ExpandEnvironmentVariables(options.ExcludedDirs);
}

void CopyCatalogueToOptions(TOptions& options) {
    options.Language.iLanguage = Catalogue().CurrentLanguageIndex;
    options.Language.Translations = Catalogue().Table;
}

} // namespace morvane
