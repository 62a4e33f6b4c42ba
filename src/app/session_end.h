#pragma once

#include <QObject>

class QSocketNotifier;

namespace morvane {

// Turns SIGTERM and SIGHUP into a signal on the user-interface thread: the handler only writes a byte
// to a pipe that the event loop watches.
class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TTerminationSignals(QObject* parent = nullptr);
    ~TTerminationSignals() override;

Q_SIGNALS:
    void Received();

private:
    void Drain();
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace morvane
