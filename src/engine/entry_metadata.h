#pragma once

#include "engine/list_file.h"
#include "platform/file_metadata.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace morvane {

// A relative path as a list line writes it, and the path bytes a list line names.
QString EncodeListEntry(const QString& relPath);
QByteArray DecodeListEntry(const QString& entry);

// One line of a backup folder's metadata list:
// "<kind> <mode in octal> <owner> <group> <seconds>.<nine digits of nanoseconds> <entry>",
// kind 'f' for a file, 'd' for a folder, 'l' for a link.
struct TMetadataLine {
    TMetadataTarget Kind = TMetadataTarget::File;
    TFileMetadata Metadata;
    QString Entry; // as the list files write it
};

QString FormatMetadataLine(TMetadataTarget kind, const TFileMetadata& metadata, const QString& relPath);
// False for a line that does not have the form above.
bool ParseMetadataLine(const QString& line, TMetadataLine& parsed);

// What the backup folders of a restored chain say of their entries, the newest folder's word winning.
class TChainMetadata {
public:
    struct TItem {
        QByteArray Path; // '/'-separated name bytes below the output folder
        TMetadataTarget Kind;
        TFileMetadata Metadata;
    };

    // Entries a newer folder copies, creates or deletes: what an older folder said of them no longer holds.
    void Forget(const TListEntries& entries);
    // Takes a folder's metadata lines; returns how many could not be read (they are left out).
    int Add(const QStringList& lines);
    bool IsEmpty() const { return items_.isEmpty(); }
    // Files and links first, then folders, deepest first: setting an entry never disturbs a folder's
    // time set before, and a folder that forbids writing is closed only after what it holds is done.
    std::vector<TItem> InApplyOrder() const;

private:
    QHash<QByteArray, TItem> items_;
};

} // namespace morvane
