#include "control/source_tree_model.h"

#include "control/thread_handover.h"

#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include <mutex>

namespace morvane {

struct TSourceTreeModel::TNode {
    QString Path;
    QString Name;
    bool Folder = false;
    bool Loaded = false;
    bool Loading = false;
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

// Lets a worker's reading reach the model only while it exists and the tree it was read for is shown.
struct TSourceTreeModel::TGate {
    std::mutex Mutex;
    TSourceTreeModel* Model = nullptr;
    int Generation = 0;
};

TSourceTreeModel::TSourceTreeModel(QStringList roots, QObject* parent, bool readInBackground)
    : QAbstractItemModel(parent), roots_(std::move(roots)), readInBackground_(readInBackground),
      gate_(std::make_shared<TGate>()) {
    gate_->Model = this;
    if (roots_.isEmpty())
        roots_ = {QDir::homePath(), QStringLiteral("/")};
    Reset();
}

TSourceTreeModel::~TSourceTreeModel() {
    const std::lock_guard lock(gate_->Mutex);
    gate_->Model = nullptr;
}

void TSourceTreeModel::Reset() {
    beginResetModel();
    {
        // Readings still under way belong to the old tree.
        const std::lock_guard lock(gate_->Mutex);
        ++gate_->Generation;
    }
    reading_ = 0;
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

std::vector<TSourceTreeModel::TChild> TSourceTreeModel::ReadChildren(const QString& folder, bool showHidden) {
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    if (showHidden)
        filters |= QDir::Hidden;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(filters, QDir::DirsFirst | QDir::Name | QDir::IgnoreCase);
    std::vector<TChild> children;
    for (const QFileInfo& info : entries)
        // A link to a folder is not walked into: the backup does not follow it either.
        children.push_back(
            {QDir::cleanPath(info.absoluteFilePath()), info.fileName(), info.isDir() && !info.isSymLink()});
    return children;
}

void TSourceTreeModel::AddChildren(TNode& node, const QModelIndex& index, std::vector<TChild> children) {
    node.Loaded = true;
    node.Loading = false;
    if (children.empty()) {
        // The expand mark goes away.
        Q_EMIT dataChanged(index, index);
        return;
    }
    beginInsertRows(index, 0, static_cast<int>(children.size()) - 1);
    for (TChild& child : children) {
        auto item = std::make_unique<TNode>();
        item->Path = std::move(child.Path);
        item->Name = std::move(child.Name);
        item->Folder = child.Folder;
        item->Parent = &node;
        item->Row = static_cast<int>(node.Children.size());
        node.Children.push_back(std::move(item));
    }
    endInsertRows();
}

TSourceTreeModel::TNode* TSourceTreeModel::FindNode(const QString& path) const {
    const std::vector<std::unique_ptr<TNode>>* level = &top_;
    for (;;) {
        TNode* next = nullptr;
        for (const auto& node : *level) {
            if (node->Path == path)
                return node.get();
            if (IsBelow(path, node->Path) && (!next || node->Path.size() > next->Path.size()))
                next = node.get();
        }
        if (!next)
            return nullptr;
        level = &next->Children;
    }
}

std::vector<TSourceTreeModel::TChild> TSourceTreeModel::ItemsOf(const QString& folder) const {
    const TNode* node = FindNode(folder);
    if (!node || !node->Loaded)
        return ReadChildren(folder, showHidden_);
    std::vector<TChild> items;
    for (const auto& child : node->Children)
        items.push_back({child->Path, child->Name, child->Folder});
    return items;
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
    return node && node->Folder && !node->Loaded && !node->Loading;
}

void TSourceTreeModel::fetchMore(const QModelIndex& parent) {
    TNode* node = NodeOf(parent);
    if (!node || node->Loaded || node->Loading)
        return;
    if (!readInBackground_) {
        AddChildren(*node, parent, ReadChildren(node->Path, showHidden_));
        return;
    }
    node->Loading = true;
    ++reading_;
    int generation = 0;
    {
        const std::lock_guard lock(gate_->Mutex);
        generation = gate_->Generation;
    }
    QThreadPool::globalInstance()->start(
        [gate = gate_, generation, folder = node->Path, hidden = showHidden_] {
            std::vector<TChild> children = ReadChildren(folder, hidden);
            const std::lock_guard lock(gate->Mutex);
            if (!gate->Model || gate->Generation != generation)
                return;
            const std::lock_guard handover(ThreadHandoverLock());
            QMetaObject::invokeMethod(
                gate->Model,
                [gate, generation, folder, children = std::move(children)]() mutable {
                    MarkThreadHandover();
                    TSourceTreeModel* model = gate->Model;
                    if (!model || gate->Generation != generation)
                        return;
                    --model->reading_;
                    TNode* target = model->FindNode(folder);
                    if (target && target->Loading)
                        model->AddChildren(*target, model->createIndex(target->Row, 0, target),
                                           std::move(children));
                },
                Qt::QueuedConnection);
        });
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
    bool folder = false;
    if (const TNode* node = FindNode(path))
        folder = node->Folder;
    else
        folder = QFileInfo(path).isDir() && !QFileInfo(path).isSymLink();
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
            for (const TChild& child : ItemsOf(level)) {
                if (child.Path == path || IsBelow(path, child.Path)) {
                    next = child.Path;
                    continue;
                }
                kept.append(EntryOf(child.Path, child.Folder));
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
        if (TNode* node = NodeOf(found); !node->Loaded && !node->Loading)
            AddChildren(*node, found, ReadChildren(node->Path, showHidden_));
        parentIndex = found;
    }
}

} // namespace morvane
