#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace morvane {

// An ordered list of relative paths (or time texts) that allows duplicates, with a hash index for
// membership and first-match lookups, so a run stays linear in the number of files. Paths compare
// exactly: the file systems we back up tell "a.txt" and "A.txt" apart.
class TPathList {
public:
    TPathList() = default;
    explicit TPathList(QStringList items) { Assign(std::move(items)); }

    void Assign(QStringList items);
    void Clear();

    bool Contains(const QString& item) const { return firstIndex_.contains(item); }
    // Index of the first entry equal to `item`, or -1.
    qsizetype IndexOf(const QString& item) const { return firstIndex_.value(item, -1); }
    // The same, trying `hint` first: a scan of an unchanged tree meets the entries in the order of the
    // list, and comparing one neighbour costs less than hashing the path.
    qsizetype IndexOf(const QString& item, qsizetype hint) const;

    qsizetype Size() const { return items_.size(); }
    bool IsEmpty() const { return items_.isEmpty(); }
    const QString& At(qsizetype index) const { return items_.at(index); }
    const QStringList& Items() const { return items_; }

private:
    void IndexIfFirst(const QString& item, qsizetype index);

    QStringList items_;
    QHash<QString, qsizetype> firstIndex_;
    std::vector<bool> isFirst_; // whether each entry is the first one with its text
};

} // namespace morvane
