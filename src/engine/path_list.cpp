#include "engine/path_list.h"

namespace morvane {

void TPathList::Assign(QStringList items) {
    Clear();
    items_ = std::move(items);
    firstIndex_.reserve(items_.size());
    isFirst_.reserve(static_cast<std::size_t>(items_.size()));
    for (qsizetype i = 0; i < items_.size(); ++i)
        IndexIfFirst(items_[i], i);
}

void TPathList::IndexIfFirst(const QString& item, qsizetype index) {
    auto found = firstIndex_.find(item);
    const bool first = found == firstIndex_.end();
    if (first)
        firstIndex_.insert(item, index);
    isFirst_.push_back(first);
}

qsizetype TPathList::IndexOf(const QString& item, qsizetype hint) const {
    if (hint >= 0 && hint < items_.size() && isFirst_[static_cast<std::size_t>(hint)] && items_[hint] == item)
        return hint;
    return IndexOf(item);
}

void TPathList::Clear() {
    items_.clear();
    firstIndex_.clear();
    isFirst_.clear();
}

} // namespace morvane
