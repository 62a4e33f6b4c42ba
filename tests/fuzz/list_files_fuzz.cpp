// The list files of a backup folder on the storage ("_rf.qkl", "_rd.qkl", "_rrf.qkl", "_rrd.qkl") and
// its metadata list ("_rm.qkl"). A restore follows only entries that stay inside its output folder:
// what it accepts must name no "..", nothing absolute and no NUL once turned into the bytes of a
// file name. What the backup writes must read back as it was.

#include "engine/entry_metadata.h"
#include "engine/list_file.h"
#include "engine/storage_names.h"
#include "formats/text_file.h"
#include "fuzz_support.h"
#include "platform/file_names.h"
#include "platform/paths.h"

namespace {

using namespace morvane;
using namespace morvane::fuzz;

// The bytes a restore hands to the file system stay below the folder they are joined to.
bool StaysInside(const QByteArray& path) {
    if (path.isEmpty() || path.startsWith('/') || path.contains('\0'))
        return false;
    for (const QByteArray& name : path.split('/'))
        if (name.isEmpty() || name == "." || name == "..")
            return false;
    return true;
}

void CheckAcceptedEntries(const TListEntries& entries) {
    for (const TListEntry& entry : entries)
        if (IsSafeRelativePath(entry.Path))
            Require(StaysInside(NameToBytes(entry.Path)));
}

// An escaped line read as one names exactly the bytes its escapes spell.
void CheckEscapedLines(const QStringList& lines, const TListEntries& entries) {
    for (qsizetype i = 0; i < lines.size() && i < entries.size(); ++i) {
        const QString& line = lines[i];
        const bool escaped = line.startsWith(u"/l/") ? entries[i].SymbolicLink
                                                     : line.startsWith(u"/f/") && entries[i].Path != line;
        if (escaped)
            Require(NameToBytes(entries[i].Path) == QByteArray::fromPercentEncoding(line.mid(3).toUtf8()));
    }
}

bool SameMetadata(const TMetadataLine& a, const TMetadataLine& b) {
    return a.Kind == b.Kind && a.Metadata.Mode == b.Metadata.Mode && a.Metadata.Owner == b.Metadata.Owner &&
           a.Metadata.Group == b.Metadata.Group &&
           a.Metadata.LastWrite.tv_sec == b.Metadata.LastWrite.tv_sec &&
           a.Metadata.LastWrite.tv_nsec == b.Metadata.LastWrite.tv_nsec;
}

// A metadata line the backup would write for what a line says must say the same of the same entry.
void CheckMetadataLineReadsBack(const QString& line) {
    TMetadataLine parsed;
    if (!ParseMetadataLine(line, parsed))
        return;
    const QByteArray path = DecodeListEntry(parsed.Entry);
    if (!StaysInside(path))
        return;
    TMetadataLine again;
    Require(ParseMetadataLine(FormatMetadataLine(parsed.Kind, parsed.Metadata, NameFromBytes(path)), again));
    Require(SameMetadata(parsed, again) && DecodeListEntry(again.Entry) == path);
}

void CheckMetadataEntries(const QStringList& lines) {
    TChainMetadata metadata;
    metadata.Add(lines);
    for (const TChainMetadata::TItem& item : metadata.InApplyOrder())
        Require(StaysInside(item.Path));
    for (const QString& line : lines)
        CheckMetadataLineReadsBack(line);
}

// A backup writes relative paths only; each must come back as the same entry.
void CheckWrittenEntriesReadBack(const TListEntries& entries) {
    QStringList paths;
    QSet<QString> written;
    QSet<QString> links;
    for (const TListEntry& entry : entries) {
        if (entry.Path.isEmpty() || entry.Path.startsWith(PathSeparator) || written.contains(entry.Path))
            continue;
        paths.append(entry.Path);
        written.insert(entry.Path);
        if (entry.SymbolicLink)
            links.insert(entry.Path);
    }
    const QString path = JoinPath(ScratchFolder(), QStringLiteral("written.qkl"));
    Require(WriteListFile(path, paths, links));
    const TListEntries read = ReadListFile(path);
    Require(read.size() == paths.size());
    for (qsizetype i = 0; i < read.size(); ++i)
        Require(read[i] == TListEntry{paths[i], links.contains(paths[i])});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QByteArray bytes = InputBytes(data, size);
    const TListEntries entries = ReadListFile(WriteScratchFile(QStringLiteral("_rf.qkl"), bytes));
    const QStringList lines = SplitTextLines(bytes);
    Require(lines.size() == entries.size());
    CheckAcceptedEntries(entries);
    CheckEscapedLines(lines, entries);
    CheckMetadataEntries(lines);
    CheckWrittenEntriesReadBack(entries);
    return 0;
}
