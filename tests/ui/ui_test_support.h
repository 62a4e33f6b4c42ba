#pragma once

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace morvane::test {

// Runs `act` on the modal window that opens next (once it shows), so a test can look at it and close
// it; the window must close, or the test would hang in its event loop.
template <typename Window> void OnNextModal(std::function<void(Window*)> act) {
    QTimer::singleShot(0, [act] {
        Window* window = nullptr;
        QTest::qWaitFor([&] {
            window = qobject_cast<Window*>(QApplication::activeModalWidget());
            return window != nullptr;
        });
        if (!window) {
            ADD_FAILURE() << "no modal window opened";
            return;
        }
        act(window);
    });
}

} // namespace morvane::test
