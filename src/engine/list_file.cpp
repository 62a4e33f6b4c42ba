#include "engine/list_file.h"

#include "engine/backup_layout.h"
#include "formats/text_file.h"
#include "platform/file_names.h"

namespace morvane {

namespace {

const QString OrdinaryKind = QStringLiteral("/f/");
const QString LinkKind = QStringLiteral("/l/");

bool NeedsEscape(const QString& path) {
    return path.contains(u'\n') || path.contains(u'\r') || HasEscapedBytes(path);
}

void AppendEscapedByte(QString& line, uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    line.append(u'%');
    line.append(QLatin1Char(digits[byte >> 4]));
    line.append(QLatin1Char(digits[byte & 0x0F]));
}

QString EscapedPath(const QString& path) {
    QString line;
    line.reserve(path.size() + 8);
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path[i];
        if (c.isHighSurrogate() && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            line.append(c);
            line.append(path[++i]);
        } else if (c.isSurrogate()) {
            for (const char byte : NameToBytes(QStringView(path).mid(i, 1)))
                AppendEscapedByte(line, static_cast<uint8_t>(byte));
        } else if (c.unicode() < 0x20 || c == u'%') {
            AppendEscapedByte(line, static_cast<uint8_t>(c.unicode()));
        } else {
            line.append(c);
        }
    }
    return line;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The bytes an escaped path stands for; false when a "%" is not followed by two hex digits.
bool Unescape(const QByteArray& text, QByteArray& bytes) {
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes.append(text[i]);
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0)
            return false;
        bytes.append(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

} // namespace

QString ListLine(const TListEntry& entry) {
    if (!entry.SymbolicLink && !NeedsEscape(entry.Path))
        return entry.Path;
    return (entry.SymbolicLink ? LinkKind : OrdinaryKind) + EscapedPath(entry.Path);
}

TListEntry ParseListLine(const QString& line) {
    const bool link = line.startsWith(LinkKind);
    if (!link && !line.startsWith(OrdinaryKind))
        return {line, false};
    QByteArray bytes;
    if (!Unescape(QStringView(line).mid(OrdinaryKind.size()).toUtf8(), bytes))
        return {line, false};
    return {NameFromBytes(bytes), link};
}

bool WriteListFile(const QString& path, const QStringList& paths, const QSet<QString>& links) {
    QStringList lines;
    lines.reserve(paths.size());
    for (const QString& entry : paths)
        lines.append(ListLine({entry, links.contains(entry)}));
    return WriteTextFileLines(path, lines);
}

TListEntries ReadListFile(const QString& path) {
    TListEntries entries;
    for (const QString& line : ReadTextFileLines(path))
        entries.append(ParseListLine(line));
    return entries;
}

} // namespace morvane
