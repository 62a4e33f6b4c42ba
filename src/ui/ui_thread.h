#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <type_traits>

namespace morvane {

// Runs `work` on the user-interface thread and returns its result. A call from a worker (a restore
// started there) waits for the interface thread to run it; a call on that thread runs it at once.
template <typename Work> auto RunOnUiThread(Work work) -> std::invoke_result_t<Work> {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return work();
    using Result = std::invoke_result_t<Work>;
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(app, std::move(work), Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(app, std::move(work), Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

} // namespace morvane
