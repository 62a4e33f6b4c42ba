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
class TSourceTreeModel final : public QAbstractItemModel {
    Q_OBJECT
public:
    // `roots` are the folders shown at the top (the home folder and "/" by default).
    explicit TSourceTreeModel(QStringList roots = {}, QObject* parent = nullptr);
    ~TSourceTreeModel() override;

    // Entries whose name starts with "." appear only on request.
    void SetShowHidden(bool show);
    bool ShowHidden() const { return showHidden_; }

    // The selection list, in the order the items were checked.
    const QStringList& Selection() const { return selection_; }
    void SetSelection(const QStringList& entries);
    // Checks or unchecks one path. Unchecking an item inside a checked folder checks the folder's
    // other items instead.
    void SetChecked(const QString& path, bool checked);
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
    TNode* NodeOf(const QModelIndex& index) const;
    std::vector<std::unique_ptr<TNode>> ReadChildren(TNode& node) const;
    QStringList ChildPaths(const QString& folder) const;
    void Reset();
    void AllChanged();
    void ChangedBelow(const QModelIndex& parent);

    QStringList roots_;
    bool showHidden_ = false;
    QStringList selection_;
    std::vector<std::unique_ptr<TNode>> top_;
};

} // namespace morvane
