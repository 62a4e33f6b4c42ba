#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace morvane {

struct TOptions;

inline constexpr int32_t OptionsFileVersion = 8;

QString OptionsFilePath();

// Reads the options file into `options`, field by field as stored (fields the file's version lacks
// keep their values). False when there is no file ("Code: 2" when it cannot be opened or read,
// "Code: 1" when its content is damaged; fields read before the damage stay).
bool LoadOptions(TOptions& options, const QString& path = OptionsFilePath());

// Writes every stored field (format version 8), replacing the file atomically; false on failure.
bool SaveOptions(const TOptions& options, const QString& path = OptionsFilePath());

// Sets every stored field to its default, switches autorun on (RunProgramAtLogon false when that
// fails) and seeds the excluded directories from the default list file when it exists.
void ApplyDefaultOptions(TOptions& options);

// Starts the desktop program at logon, or stops doing so; on failure adds the events line and
// returns false.
bool SetAutorun(bool enable);

// Expands a leading %NAME% of each entry from the environment and lower-cases the result; entries
// without a leading variable, or naming an undefined one, stay as they are.
void ExpandEnvironmentVariables(QStringList& entries);

// The catalogue's language index and table, copied into an options record.
void CopyCatalogueToOptions(TOptions& options);

} // namespace morvane
