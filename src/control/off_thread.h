#pragma once

#include "control/thread_handover.h"

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace morvane {

// Lets workers post steps to an object's thread for as long as that object lives: the object closes
// the gate in its destructor under the lock a post takes, and Qt drops the steps already posted to it.
class TPostGate {
public:
    explicit TPostGate(QObject* target) : target_(target) {}
    void Close() {
        const std::lock_guard lock(mutex_);
        target_ = nullptr;
    }
    // Runs `step` on the target's thread unless the gate is closed by then. Any thread.
    void Post(std::function<void()> step) {
        const std::lock_guard lock(mutex_);
        if (!target_)
            return;
        const std::lock_guard handover(ThreadHandoverLock());
        QMetaObject::invokeMethod(
            target_,
            [step = std::move(step)] {
                MarkThreadHandover();
                step();
            },
            Qt::QueuedConnection);
    }

private:
    std::mutex mutex_;
    QObject* target_;
};

// Runs short pieces of disk work (a folder that may sit on a hung mount, a list of volumes) on threads
// of their own and hands each result to a callback on this object's thread. Results that arrive after
// this object is gone are dropped, and a worker that never returns keeps only its own thread.
class TOffThreadCalls final : public QObject {
public:
    explicit TOffThreadCalls(QObject* parent = nullptr)
        : QObject(parent), gate_(std::make_shared<TPostGate>(this)) {}
    ~TOffThreadCalls() override { gate_->Close(); }

    // `work` runs on a new thread; `done(result)` runs later on this object's thread.
    template <class Work, class Done> void Start(Work work, Done done) {
        std::thread([gate = gate_, work = std::move(work), done = std::move(done)]() mutable {
            gate->Post([done = std::move(done), result = work()]() mutable { done(std::move(result)); });
        }).detach();
    }

private:
    std::shared_ptr<TPostGate> gate_;
};

} // namespace morvane
