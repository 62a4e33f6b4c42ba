#include "engine/copy_ahead.h"

#include "platform/file_copy.h"
#include "platform/local_files.h"
#include "platform/paths.h"

#include <QDir>

namespace morvane {

namespace {

void RemoveCopies(const std::vector<QString>& paths) {
    for (const QString& path : paths)
        LocalDeleteFile(path);
}

} // namespace

TCopyAhead::TCopyAhead(QString folder, TCopyAheadLimits limits, bool noBuffering, bool waitForEveryCopy)
    : folder_(std::move(folder)), limits_(limits), noBuffering_(noBuffering),
      waitForEveryCopy_(waitForEveryCopy) {
    LocalRemoveTree(folder_); // what a crashed run left
    QDir().mkpath(folder_);
    worker_ = std::thread([this] { Work(); });
}

TCopyAhead::~TCopyAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        cancelCopy_ = 1;
    }
    changed_.notify_all();
    worker_.join();
    std::vector<QString> doomed;
    while (!items_.empty())
        PopFront(doomed, false);
    RemoveCopies(doomed);
    LocalRemoveTree(folder_);
}

bool TCopyAhead::Enabled() {
    return qgetenv("MORVANE_COPY_AHEAD") != "0";
}

bool TCopyAhead::EveryCopyWaitedFor() {
    return qgetenv("MORVANE_COPY_AHEAD") == "wait";
}

void TCopyAhead::Offer(const QString& source, int64_t size) {
    if (size > limits_.Bytes)
        return;
    {
        const std::lock_guard lock(mutex_);
        if (queued_.contains(source))
            return;
        queued_.insert(source);
        items_.push_back({nextId_++, source, size});
    }
    changed_.notify_all();
}

std::optional<TPreparedCopy> TCopyAhead::Take(const QString& source) {
    std::vector<QString> doomed;
    std::unique_lock lock(mutex_);
    if (!queued_.contains(source))
        return std::nullopt;
    while (items_.front().Source != source)
        PopFront(doomed, false);
    // A copy in progress is waited for; one not started yet is left to the caller, who would otherwise
    // wait for a thread that may not have a processor yet (unless every copy is to come from here).
    changed_.wait(lock, [this] {
        const State status = items_.front().Status;
        return status == State::Ready || status == State::Failed ||
               (status == State::Waiting && !waitForEveryCopy_);
    });
    const Item item = PopFront(doomed, true);
    lock.unlock();
    changed_.notify_all();
    RemoveCopies(doomed);
    if (item.Status != State::Ready)
        return std::nullopt;
    return TPreparedCopy{CopyPath(item.Id), item.CopiedSize};
}

void TCopyAhead::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || CanStartNext(); });
        if (stopping_)
            return;
        Item& item = items_[started_++];
        item.Status = State::Copying;
        heldFiles_ += 1;
        heldBytes_ += item.Size;
        cancelCopy_ = 0;
        const uint64_t id = item.Id;
        const QString source = item.Source;
        lock.unlock();
        int64_t copiedSize = 0;
        const int error = CopyLocalFile(
            source, CopyPath(id), {nullptr, &cancelCopy_, noBuffering_, TTargetWrite::InPlace, &copiedSize});
        lock.lock();
        FinishCopy(id, error, copiedSize);
        changed_.notify_all();
    }
}

bool TCopyAhead::CanStartNext() const {
    if (started_ >= items_.size())
        return false;
    return heldFiles_ == 0 ||
           (heldFiles_ < limits_.Files && heldBytes_ + items_[started_].Size <= limits_.Bytes);
}

// Called with the lock held. The copy in progress is the last one started, unless it was dropped.
void TCopyAhead::FinishCopy(uint64_t id, int error, int64_t copiedSize) {
    const bool dropped = started_ == 0 || items_[started_ - 1].Id != id;
    if (dropped) {
        if (error == 0)
            LocalDeleteFile(CopyPath(id));
        return;
    }
    Item& item = items_[started_ - 1];
    item.CopiedSize = copiedSize;
    item.Status = error == 0 ? State::Ready : State::Failed;
    if (error != 0)
        Release(item);
}

TCopyAhead::Item TCopyAhead::PopFront(std::vector<QString>& doomed, bool keepCopy) {
    Item item = std::move(items_.front());
    items_.pop_front();
    queued_.remove(item.Source);
    if (started_ > 0)
        --started_;
    if (item.Status == State::Copying)
        cancelCopy_ = 1; // nobody wants it any more; the worker removes it when it stops
    if (item.Status == State::Copying || item.Status == State::Ready)
        Release(item);
    if (item.Status == State::Ready && !keepCopy)
        doomed.push_back(CopyPath(item.Id));
    return item;
}

void TCopyAhead::Release(const Item& item) {
    heldFiles_ -= 1;
    heldBytes_ -= item.Size;
}

QString TCopyAhead::CopyPath(uint64_t id) const {
    return JoinPath(folder_, QString::number(id));
}

} // namespace morvane
