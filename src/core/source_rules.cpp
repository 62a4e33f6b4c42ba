#include "core/source_rules.h"

#include "i18n/translation.h"
#include "platform/paths.h"

namespace morvane {

namespace {

QString ExtensionsHint() {
    return Translate(QStringLiteral("Please specify extensions separated by ;")) + QStringLiteral("\r\n") +
           Translate(QStringLiteral("Example:")) + QStringLiteral(" txt;doc;exe");
}

// A folder entry "path/*" stands for its folder; a root ("/*") has no name of its own.
QString FolderOfEntry(const QString& entry) {
    return entry.size() > 2 ? entry.chopped(2) : entry.chopped(1);
}

} // namespace

QString NormalizeExtensionsText(const QString& text) {
    QString normalized = QString(text).remove(u' ').toLower();
    if (normalized.startsWith(u';'))
        normalized.remove(0, 1);
    if (normalized.endsWith(u';'))
        normalized.chop(1);
    return normalized;
}

ExtensionsCheck CheckExtensionsText(const QString& normalized) {
    if (normalized.isEmpty())
        return ExtensionsCheck::Empty;
    for (const QChar c : {u'*', u'/', u'\\', u',', u'.'})
        if (normalized.contains(c))
            return ExtensionsCheck::ForbiddenCharacters;
    return ExtensionsCheck::Ok;
}

QString ExtensionsCheckMessage(ExtensionsCheck check) {
    switch (check) {
    case ExtensionsCheck::Ok:
        return QString();
    case ExtensionsCheck::Empty:
        return ExtensionsHint();
    case ExtensionsCheck::ForbiddenCharacters:
        return Translate(QStringLiteral("Characters * . , \\ / are not allowed.")) +
               QStringLiteral("\r\n\r\n") + ExtensionsHint();
    }
    return QString();
}

QString GetDuplicatedNamesOfFoldersOrFiles(const QStringList& entries) {
    QStringList folderNames, folderPaths, fileNames, filePaths;
    for (const QString& entry : entries) {
        const bool folder = entry.endsWith(u'*');
        const QString path = folder ? FolderOfEntry(entry) : entry;
        const QString name = ExtractFileName(path);
        if (name.isEmpty())
            continue;
        QStringList& names = folder ? folderNames : fileNames;
        QStringList& paths = folder ? folderPaths : filePaths;
        for (qsizetype i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return path + QStringLiteral("\r\n") + paths[i];
        names.append(name);
        paths.append(path);
    }
    return QString();
}

QString DuplicatedNamesMessage(const QString& pair) {
    // clang-format off
    const QString text = Translate(QStringLiteral("Among the items there are files or folders having the same name, therefore they could be overwritten by each other and you could have incorrect backups."));
    // clang-format on
    return text + QStringLiteral("\r\n\r\n") + Translate(QStringLiteral("Example:")) +
           QStringLiteral("\r\n") + pair;
}

} // namespace morvane
