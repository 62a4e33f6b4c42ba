#pragma once

#include <QString>
#include <QStringList>

namespace morvane {

// Writes lines as UTF-8 with a byte-order mark and CR LF after every line, replacing the file
// atomically. False on any failure.
bool WriteTextFileLines(const QString& path, const QStringList& lines);

// Lines of a UTF-8 text, with or without a byte-order mark, ended by CR LF, LF or CR.
QStringList SplitTextLines(const QByteArray& bytes);

} // namespace morvane
