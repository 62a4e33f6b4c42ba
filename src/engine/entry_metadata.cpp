#include "engine/entry_metadata.h"

#include "engine/list_file.h"
#include "platform/file_names.h"

#include <algorithm>

namespace morvane {

namespace {

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
    return ListLine({relPath, false});
}

QByteArray DecodeListEntry(const QString& entry) {
    return NameToBytes(ParseListLine(entry).Path);
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

void TChainMetadata::Forget(const TListEntries& entries) {
    if (items_.isEmpty())
        return;
    for (const TListEntry& entry : entries)
        items_.remove(NameToBytes(entry.Path));
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
