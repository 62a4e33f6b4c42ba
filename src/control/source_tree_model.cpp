#include "control/source_tree_model.h"

#include <QDir>
#include <QFileInfo>

namespace morvane {

struct TSourceTreeModel::TNode {
    QString Path;
    QString Name;
    bool Folder = false;
    bool Loaded = false;
    TNode* Parent = nullptr;
    int Row = 0;
    std::vector<std::unique_ptr<TNode>> Children;
};

namespace {

QString EntryOf(const QString& path, bool folder) {
    if (!folder)
        return path;
    return path.endsWith(u'/') ? QString(path + u'*') : QString(path + QStringLiteral("/*"));
}

// The folder or file an entry stands for, and whether it is a folder.
QString PathOfEntry(const QString& entry, bool* folder = nullptr) {
    const bool isFolder = entry.endsWith(QStringLiteral("/*"));
    if (folder)
        *folder = isFolder;
    if (!isFolder)
        return entry;
    const QString path = entry.left(entry.size() - 2);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

bool IsBelow(const QString& path, const QString& folder) {
    if (folder == QStringLiteral("/"))
        return path != folder && path.startsWith(u'/');
    return path.size() > folder.size() && path.startsWith(folder) && path.at(folder.size()) == u'/';
}

} // namespace

TSourceTreeModel::TSourceTreeModel(QStringList roots, QObject* parent)
    : QAbstractItemModel(parent), roots_(std::move(roots)) {
    if (roots_.isEmpty())
        roots_ = {QDir::homePath(), QStringLiteral("/")};
    Reset();
}

TSourceTreeModel::~TSourceTreeModel() = default;

void TSourceTreeModel::Reset() {
    beginResetModel();
    top_.clear();
    for (const QString& root : roots_) {
        auto node = std::make_unique<TNode>();
        node->Path = QDir::cleanPath(root);
        node->Name = node->Path;
        node->Folder = true;
        node->Row = static_cast<int>(top_.size());
        top_.push_back(std::move(node));
    }
    endResetModel();
}

void TSourceTreeModel::SetShowHidden(bool show) {
    if (show == showHidden_)
        return;
    showHidden_ = show;
    Reset();
}

QStringList TSourceTreeModel::ChildPaths(const QString& folder) const {
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    if (showHidden_)
        filters |= QDir::Hidden;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(filters, QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
    QStringList paths;
    for (const QFileInfo& info : entries)
        paths.append(info.absoluteFilePath());
    return paths;
}

std::vector<std::unique_ptr<TSourceTreeModel::TNode>> TSourceTreeModel::ReadChildren(TNode& node) const {
    std::vector<std::unique_ptr<TNode>> children;
    for (const QString& path : ChildPaths(node.Path)) {
        const QFileInfo info(path);
        auto child = std::make_unique<TNode>();
        child->Path = QDir::cleanPath(path);
        child->Name = info.fileName();
        // A link to a folder is not walked into: the backup does not follow it either.
        child->Folder = info.isDir() && !info.isSymLink();
        child->Parent = &node;
        child->Row = static_cast<int>(children.size());
        children.push_back(std::move(child));
    }
    return children;
}

TSourceTreeModel::TNode* TSourceTreeModel::NodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<TNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TSourceTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0)
        return {};
    const TNode* node = NodeOf(parent);
    const auto& children = node ? node->Children : top_;
    if (row >= static_cast<int>(children.size()))
        return {};
    return createIndex(row, column, children[row].get());
}

QModelIndex TSourceTreeModel::parent(const QModelIndex& child) const {
    const TNode* node = NodeOf(child);
    if (!node || !node->Parent)
        return {};
    return createIndex(node->Parent->Row, 0, node->Parent);
}

int TSourceTreeModel::rowCount(const QModelIndex& parent) const {
    const TNode* node = NodeOf(parent);
    return static_cast<int>(node ? node->Children.size() : top_.size());
}

int TSourceTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool TSourceTreeModel::hasChildren(const QModelIndex& parent) const {
    const TNode* node = NodeOf(parent);
    if (!node)
        return !top_.empty();
    return node->Folder && (!node->Loaded || !node->Children.empty());
}

bool TSourceTreeModel::canFetchMore(const QModelIndex& parent) const {
    const TNode* node = NodeOf(parent);
    return node && node->Folder && !node->Loaded;
}

void TSourceTreeModel::fetchMore(const QModelIndex& parent) {
    TNode* node = NodeOf(parent);
    if (!node || node->Loaded)
        return;
    std::vector<std::unique_ptr<TNode>> children = ReadChildren(*node);
    node->Loaded = true;
    if (children.empty())
        return;
    beginInsertRows(parent, 0, static_cast<int>(children.size()) - 1);
    node->Children = std::move(children);
    endInsertRows();
}

QVariant TSourceTreeModel::data(const QModelIndex& index, int role) const {
    const TNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return node->Name;
    case Qt::ToolTipRole:
        return node->Path;
    case Qt::CheckStateRole:
        return CheckStateOf(node->Path);
    default:
        return {};
    }
}

Qt::ItemFlags TSourceTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

bool TSourceTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    const TNode* node = NodeOf(index);
    if (!node || role != Qt::CheckStateRole)
        return false;
    SetChecked(node->Path, value.toInt() != Qt::Unchecked);
    return true;
}

QString TSourceTreeModel::PathOf(const QModelIndex& index) const {
    const TNode* node = NodeOf(index);
    return node ? node->Path : QString();
}

Qt::CheckState TSourceTreeModel::CheckStateOf(const QString& path) const {
    bool partial = false;
    for (const QString& entry : selection_) {
        bool folder = false;
        const QString checked = PathOfEntry(entry, &folder);
        if (checked == path || (folder && IsBelow(path, checked)))
            return Qt::Checked;
        if (IsBelow(checked, path))
            partial = true;
    }
    return partial ? Qt::PartiallyChecked : Qt::Unchecked;
}

void TSourceTreeModel::SetSelection(const QStringList& entries) {
    selection_ = entries;
    AllChanged();
}

void TSourceTreeModel::SetChecked(const QString& rawPath, bool checked) {
    const QString path = QDir::cleanPath(rawPath);
    const QFileInfo info(path);
    const bool folder = info.isDir() && !info.isSymLink();
    // Whatever was checked below this item is now part of it (or unchecked with it).
    QStringList kept;
    QString coveringFolder;
    for (const QString& entry : selection_) {
        bool entryFolder = false;
        const QString entryPath = PathOfEntry(entry, &entryFolder);
        if (entryPath == path || IsBelow(entryPath, path))
            continue;
        if (entryFolder && IsBelow(path, entryPath))
            coveringFolder = entryPath;
        kept.append(entry);
    }
    if (checked) {
        if (coveringFolder.isEmpty())
            kept.append(EntryOf(path, folder));
    } else if (!coveringFolder.isEmpty()) {
        // Unchecking inside a checked folder: the folder gives way to its other items, level by level.
        kept.removeAll(EntryOf(coveringFolder, true));
        QString level = coveringFolder;
        while (level != path) {
            QString next;
            for (const QString& child : ChildPaths(level)) {
                const QString clean = QDir::cleanPath(child);
                if (clean == path || IsBelow(path, clean)) {
                    next = clean;
                    continue;
                }
                const QFileInfo childInfo(clean);
                kept.append(EntryOf(clean, childInfo.isDir() && !childInfo.isSymLink()));
            }
            if (next.isEmpty())
                break;
            level = next;
        }
    }
    selection_ = kept;
    AllChanged();
}

void TSourceTreeModel::ChangedBelow(const QModelIndex& parent) {
    const int rows = rowCount(parent);
    if (rows == 0)
        return;
    Q_EMIT dataChanged(index(0, 0, parent), index(rows - 1, 0, parent), {Qt::CheckStateRole});
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = index(row, 0, parent);
        if (NodeOf(child)->Loaded)
            ChangedBelow(child);
    }
}

void TSourceTreeModel::AllChanged() {
    ChangedBelow(QModelIndex());
    Q_EMIT SelectionChanged();
}

QModelIndex TSourceTreeModel::IndexOf(const QString& rawPath) {
    const QString path = QDir::cleanPath(rawPath);
    QModelIndex parentIndex;
    for (;;) {
        const int rows = rowCount(parentIndex);
        QModelIndex found;
        for (int row = 0; row < rows; ++row) {
            const QModelIndex candidate = index(row, 0, parentIndex);
            const QString candidatePath = PathOf(candidate);
            if (candidatePath == path)
                return candidate;
            // The deepest root holding the path wins (the home folder over "/").
            if (IsBelow(path, candidatePath) &&
                (!found.isValid() || candidatePath.size() > PathOf(found).size()))
                found = candidate;
        }
        if (!found.isValid())
            return {};
        if (canFetchMore(found))
            fetchMore(found);
        parentIndex = found;
    }
}

} // namespace morvane
