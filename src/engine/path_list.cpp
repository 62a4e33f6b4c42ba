#include "engine/path_list.h"

namespace morvane {

void TPathList::Assign(QStringList items) {
    Clear();
    items_ = std::move(items);
    firstIndex_.reserve(items_.size());
    for (qsizetype i = 0; i < items_.size(); ++i)
        IndexIfFirst(items_[i], i);
}

void TPathList::IndexIfFirst(const QString& item, qsizetype index) {
    auto found = firstIndex_.find(item);
    if (found == firstIndex_.end())
        firstIndex_.insert(item, index);
}

void TPathList::Append(const QString& item) {
    IndexIfFirst(item, items_.size());
    items_.append(item);
}

void TPathList::RemoveLast() {
    if (items_.isEmpty())
        return;
    const qsizetype last = items_.size() - 1;
    const auto found = firstIndex_.constFind(items_[last]);
    if (found != firstIndex_.cend() && found.value() == last)
        firstIndex_.erase(found);
    items_.removeLast();
}

void TPathList::Clear() {
    items_.clear();
    firstIndex_.clear();
}

} // namespace morvane
