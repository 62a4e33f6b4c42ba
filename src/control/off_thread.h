#pragma once

#include "control/thread_handover.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace morvane {

// Runs short pieces of disk work (a folder that may sit on a hung mount, a list of volumes) on threads
// of their own and hands each result to a callback on this object's thread. Results that arrive after
// this object is gone are dropped, and a worker that never returns keeps only its own thread.
class TOffThreadCalls final : public QObject {
public:
    explicit TOffThreadCalls(QObject* parent = nullptr) : QObject(parent), gate_(std::make_shared<TGate>()) {
        gate_->Target = this;
    }
    ~TOffThreadCalls() override {
        const std::lock_guard lock(gate_->Mutex);
        gate_->Target = nullptr;
    }

    // `work` runs on a new thread; `done(result)` runs later on this object's thread.
    template <class Work, class Done> void Start(Work work, Done done) {
        std::thread([gate = gate_, work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            const std::lock_guard lock(gate->Mutex);
            if (!gate->Target)
                return;
            const std::lock_guard handover(ThreadHandoverLock());
            QMetaObject::invokeMethod(
                gate->Target,
                [done = std::move(done), result = std::move(result)]() mutable {
                    MarkThreadHandover();
                    done(std::move(result));
                },
                Qt::QueuedConnection);
        }).detach();
    }

private:
    struct TGate {
        std::mutex Mutex;
        QObject* Target = nullptr;
    };
    std::shared_ptr<TGate> gate_;
};

} // namespace morvane
