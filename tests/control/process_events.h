#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace morvane::test {

// Runs the event loop until `done` holds (a worker's answer arrives queued); the generous limit only
// keeps a broken flow from hanging the run.
template <typename Condition> bool ProcessEventsUntil(Condition done) {
    QDeadlineTimer limit(60000);
    while (!done() && !limit.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return done();
}

} // namespace morvane::test
