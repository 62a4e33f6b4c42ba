#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace morvane {

// The file system as a tree with check boxes, for choosing a job's sources. A folder's entries are
// read when the view first asks for them. The checked items are the selection list: a file is its
// full path, a folder (with everything in it) its path followed by "/*". A checked folder shows its
// contents as checked; a folder with some checked items below it shows a partial check.
//
// A folder opened in the view is read on a worker thread (a slow or hung mount must not stop the
// window); its items appear when the reading comes back. IndexOf reads on the calling thread.
class TSourceTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    // `roots` are the folders shown at the top (the home folder and "/" by default). Without
    // `readInBackground` every folder is read on the calling thread.
    explicit TSourceTreeModel(QStringList roots = {}, QObject* parent = nullptr,
                              bool readInBackground = true);
    ~TSourceTreeModel() override;

    // Forgets every folder read so far, so the next opening shows the folders as they are now.
    void Reload() { Reset(); }
    // Entries whose name starts with "." appear only on request.
    void SetShowHidden(bool show);
    bool ShowHidden() const { return showHidden_; }

    // The selection list, in the order the items were checked.
    const QStringList& Selection() const { return selection_; }
    void SetSelection(const QStringList& entries);
    // Checks or unchecks one path. Unchecking an item inside a checked folder checks the folder's
    // other items instead (the folders on the way are read when the tree has not read them yet).
    void SetChecked(const QString& path, bool checked);
    // True while folders are being read.
    bool Reading() const { return reading_ > 0; }
    Qt::CheckState CheckStateOf(const QString& path) const;
    QString PathOf(const QModelIndex& index) const;
    // The index of a path, reading the folders on the way; invalid when it is not in the tree.
    QModelIndex IndexOf(const QString& path);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

Q_SIGNALS:
    void SelectionChanged();

private:
    struct TNode;
    struct TChild {
        QString Path;
        QString Name;
        bool Folder = false;
    };
    struct TGate;
    TNode* NodeOf(const QModelIndex& index) const;
    static std::vector<TChild> ReadChildren(const QString& folder, bool showHidden);
    void AddChildren(TNode& node, const QModelIndex& index, std::vector<TChild> children);
    TNode* FindNode(const QString& path) const;
    // The items of a folder with whether each is a folder, from the tree when it has read them.
    std::vector<TChild> ItemsOf(const QString& folder) const;
    void Reset();
    void AllChanged();
    void ChangedBelow(const QModelIndex& parent);

    QStringList roots_;
    bool readInBackground_ = true;
    bool showHidden_ = false;
    int reading_ = 0;
    std::shared_ptr<TGate> gate_;
    QStringList selection_;
    std::vector<std::unique_ptr<TNode>> top_;
};

} // namespace morvane
