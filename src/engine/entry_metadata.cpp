#include "engine/entry_metadata.h"

#include <algorithm>

namespace morvane {

namespace {

const QString EscapedFilePrefix = QStringLiteral("/f/");
const QString EscapedLinkPrefix = QStringLiteral("/l/");

// The bytes of a path held as text. A lone surrogate stands for a byte that was no text: U+DC80 to
// U+DCFF give back the bytes 0x80 to 0xFF; `invalid` marks where such bytes are.
QByteArray PathBytes(const QString& path, QByteArray* invalid = nullptr) {
    if (!invalid && !std::any_of(path.cbegin(), path.cend(), [](QChar c) { return c.isSurrogate(); }))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size());
    const auto put = [&](char byte, bool bad) {
        bytes.append(byte);
        if (invalid)
            invalid->append(bad ? '\1' : '\0');
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        const bool pair = QChar::isHighSurrogate(unit) && i + 1 < path.size() && path[i + 1].isLowSurrogate();
        if (pair) {
            for (const char byte : path.mid(i, 2).toUtf8())
                put(byte, false);
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            if (unit >= 0xDC80 && unit <= 0xDCFF) {
                put(static_cast<char>(unit & 0xFF), true);
            } else { // no byte behind it: keep its three-byte form, escaped
                put(static_cast<char>(0xE0 | (unit >> 12)), true);
                put(static_cast<char>(0x80 | ((unit >> 6) & 0x3F)), true);
                put(static_cast<char>(0x80 | (unit & 0x3F)), true);
            }
        } else {
            for (const char byte : QString(QChar(unit)).toUtf8())
                put(byte, false);
        }
    }
    return bytes;
}

bool NeedsEscape(const QString& path) {
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (unit == u'\r' || unit == u'\n')
            return true;
        if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && path[i + 1].isLowSurrogate())
            ++i;
        else if (QChar::isSurrogate(unit))
            return true;
    }
    return false;
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

QByteArray PercentDecoded(const QByteArray& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low >= 0) {
            bytes.append(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            bytes.append(text[i]);
        }
    }
    return bytes;
}

bool ParseUnsigned(QStringView text, int base, uint32_t limit, uint32_t& value) {
    bool ok = false;
    const qulonglong number = text.toULongLong(&ok, base);
    if (!ok || number > limit || text.startsWith(u'+'))
        return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool ParseTime(QStringView text, timespec& time) {
    const qsizetype dot = text.indexOf(u'.');
    if (dot <= 0 || text.size() - dot - 1 != 9)
        return false;
    bool ok = false;
    const qlonglong seconds = text.left(dot).toLongLong(&ok);
    uint32_t nanoseconds = 0;
    if (!ok || text.startsWith(u'+') || !ParseUnsigned(text.mid(dot + 1), 10, 999'999'999, nanoseconds))
        return false;
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(nanoseconds);
    return true;
}

char KindLetter(TMetadataTarget kind) {
    switch (kind) {
    case TMetadataTarget::File:
        return 'f';
    case TMetadataTarget::Folder:
        return 'd';
    case TMetadataTarget::Link:
        return 'l';
    }
    return 'f';
}

bool KindOfLetter(QStringView letter, TMetadataTarget& kind) {
    if (letter == u"f")
        kind = TMetadataTarget::File;
    else if (letter == u"d")
        kind = TMetadataTarget::Folder;
    else if (letter == u"l")
        kind = TMetadataTarget::Link;
    else
        return false;
    return true;
}

// A path below the output folder: no empty, "." or ".." name, nothing absolute.
bool IsSafePathBytes(const QByteArray& path) {
    if (path.isEmpty() || path.contains('\0'))
        return false;
    for (const QByteArray& name : path.split('/'))
        if (name.isEmpty() || name == "." || name == "..")
            return false;
    return true;
}

} // namespace

QString EncodeListEntry(const QString& relPath) {
    if (!NeedsEscape(relPath))
        return relPath;
    QByteArray invalid;
    const QByteArray bytes = PathBytes(relPath, &invalid);
    QByteArray escaped;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '%' || byte < 0x20 || byte == 0x7F || invalid[i])
            escaped.append('%').append(QByteArray::number(byte, 16).rightJustified(2, '0').toUpper());
        else
            escaped.append(static_cast<char>(byte));
    }
    return EscapedFilePrefix + QString::fromUtf8(escaped);
}

QByteArray DecodeListEntry(const QString& entry) {
    if (entry.startsWith(EscapedFilePrefix) || entry.startsWith(EscapedLinkPrefix))
        return PercentDecoded(entry.mid(EscapedFilePrefix.size()).toUtf8());
    return PathBytes(entry);
}

QString FormatMetadataLine(TMetadataTarget kind, const TFileMetadata& metadata, const QString& relPath) {
    return QStringLiteral("%1 %2 %3 %4 %5.%6 %7")
        .arg(QChar::fromLatin1(KindLetter(kind)))
        .arg(metadata.Mode & 07777, 4, 8, QChar(u'0'))
        .arg(metadata.Owner)
        .arg(metadata.Group)
        .arg(static_cast<qlonglong>(metadata.LastWrite.tv_sec))
        .arg(static_cast<qlonglong>(metadata.LastWrite.tv_nsec), 9, 10, QChar(u'0'))
        .arg(EncodeListEntry(relPath));
}

bool ParseMetadataLine(const QString& line, TMetadataLine& parsed) {
    QStringView rest(line);
    QStringView fields[5];
    for (QStringView& field : fields) {
        const qsizetype space = rest.indexOf(u' ');
        if (space <= 0)
            return false;
        field = rest.left(space);
        rest = rest.mid(space + 1);
    }
    TMetadataLine result;
    if (rest.isEmpty() || !KindOfLetter(fields[0], result.Kind) ||
        !ParseUnsigned(fields[1], 8, 07777, result.Metadata.Mode) ||
        !ParseUnsigned(fields[2], 10, UINT32_MAX, result.Metadata.Owner) ||
        !ParseUnsigned(fields[3], 10, UINT32_MAX, result.Metadata.Group) ||
        !ParseTime(fields[4], result.Metadata.LastWrite))
        return false;
    result.Entry = rest.toString();
    parsed = std::move(result);
    return true;
}

void TChainMetadata::Forget(const QStringList& listEntries) {
    if (items_.isEmpty())
        return;
    for (const QString& entry : listEntries)
        items_.remove(DecodeListEntry(entry));
}

int TChainMetadata::Add(const QStringList& lines) {
    int unreadable = 0;
    for (const QString& line : lines) {
        TMetadataLine parsed;
        QByteArray path;
        if (ParseMetadataLine(line, parsed))
            path = DecodeListEntry(parsed.Entry);
        if (!IsSafePathBytes(path)) {
            ++unreadable;
            continue;
        }
        items_.insert(path, {path, parsed.Kind, parsed.Metadata});
    }
    return unreadable;
}

std::vector<TChainMetadata::TItem> TChainMetadata::InApplyOrder() const {
    std::vector<TItem> items;
    items.reserve(static_cast<std::size_t>(items_.size()));
    for (const TItem& item : items_)
        items.push_back(item);
    const auto isFolder = [](const TItem& item) {
        return item.Kind == TMetadataTarget::Folder;
    };
    const auto depth = [](const TItem& item) {
        return item.Path.count('/');
    };
    std::sort(items.begin(), items.end(), [&](const TItem& a, const TItem& b) {
        if (isFolder(a) != isFolder(b))
            return !isFolder(a);
        if (isFolder(a) && depth(a) != depth(b))
            return depth(a) > depth(b);
        return a.Path < b.Path;
    });
    return items;
}

} // namespace morvane
