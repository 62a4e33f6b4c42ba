#pragma once

#include <QString>
#include <QStringList>

namespace morvane {

// The extension text of a job's filter, as the job editor and the command-line tool accept it.
enum class ExtensionsCheck { Ok, Empty, ForbiddenCharacters };

// Removes every space, lower-cases, then drops one leading and one trailing ";".
QString NormalizeExtensionsText(const QString& text);
// Checks a normalised text: empty, or holding one of * / \ , . (extensions are given without dots).
ExtensionsCheck CheckExtensionsText(const QString& normalized);
// The translated warning for a failed check (empty for Ok).
QString ExtensionsCheckMessage(ExtensionsCheck check);

// The first entry of the selection list whose name equals (ignoring case) an earlier entry's of the
// same kind, as "this path" CR LF "earlier path" (folders without their trailing "/*"); empty when
// none. Two such sources would land in one place on the storage.
QString GetDuplicatedNamesOfFoldersOrFiles(const QStringList& entries);
// The translated error for a duplicate pair.
QString DuplicatedNamesMessage(const QString& pair);

} // namespace morvane
