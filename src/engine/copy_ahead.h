#pragma once

#include "storage/prepared_copies.h"

#include <QSet>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace morvane {

struct TCopyAheadLimits {
    int Files = 64;
    int64_t Bytes = int64_t(64) << 20;
};

// Makes the temporary copies of the files a run is about to copy on a thread of its own, so reading
// the next files overlaps writing the current one to the storage. Files are copied in the order
// offered; at most `limits` copies (counted by the sizes offered) wait to be taken, and a file larger
// than the byte limit is left to its own file operation. Whatever is not taken is removed.
class TCopyAhead final : public TPreparedCopies {
public:
    // With `waitForEveryCopy` a file is never left to its file operation because its copy has not
    // started: every offered file's temporary copy is made here.
    TCopyAhead(QString folder, TCopyAheadLimits limits, bool noBuffering, bool waitForEveryCopy = false);
    ~TCopyAhead() override;
    TCopyAhead(const TCopyAhead&) = delete;
    TCopyAhead& operator=(const TCopyAhead&) = delete;

    // Whether runs copy ahead: MORVANE_COPY_AHEAD=0 turns it off; "wait" makes every offered copy come
    // from the copy-ahead (so tests see each one go that way).
    static bool Enabled();
    static bool EveryCopyWaitedFor();

    void Offer(const QString& source, int64_t size);
    // The copy of `source`, waited for while it is being made. Copies offered before it and not taken
    // are dropped: the run has passed them by.
    std::optional<TPreparedCopy> Take(const QString& source) override;

private:
    enum class State { Waiting, Copying, Ready, Failed };
    struct Item {
        uint64_t Id = 0;
        QString Source;
        int64_t Size = 0;
        State Status = State::Waiting;
        int64_t CopiedSize = 0;
    };

    void Work();
    bool CanStartNext() const;
    void FinishCopy(uint64_t id, int error, int64_t copiedSize);
    // Takes the first item off the queue; a finished copy's path goes to `doomed` unless it is kept.
    Item PopFront(std::vector<QString>& doomed, bool keepCopy);
    void Release(const Item& item);
    QString CopyPath(uint64_t id) const;

    const QString folder_;
    const TCopyAheadLimits limits_;
    const bool noBuffering_;
    const bool waitForEveryCopy_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_; // in the order offered; the first `started_` have been started
    std::size_t started_ = 0;
    QSet<QString> queued_;
    int heldFiles_ = 0; // copies in progress or waiting to be taken
    int64_t heldBytes_ = 0;
    uint64_t nextId_ = 0;
    bool stopping_ = false;
    std::atomic<int32_t> cancelCopy_{0};
    std::thread worker_;
};

} // namespace morvane
