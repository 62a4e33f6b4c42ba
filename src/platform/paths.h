#pragma once

#include <QString>

namespace morvane {

// The one place that spells the separator; every other module joins paths through these helpers.
inline constexpr QChar PathSeparator = u'/';

// Joins a directory and a name with exactly one separator between them.
QString JoinPath(const QString& directory, const QString& name);

// The extension of the file name part of a path, dot included ("" when the name has none).
QString ExtractFileExt(const QString& path);

// The file name part of a path (everything after the last separator).
QString ExtractFileName(const QString& path);

} // namespace morvane
