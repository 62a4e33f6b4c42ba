#pragma once

#include "scheduler/scheduler_tick.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace morvane {

class IUserPrompt;

// The window as closing sees it.
class IClosingWindow {
public:
    virtual ~IClosingWindow() = default;
    virtual void SaveFormPosAndView() = 0;
    virtual void HideWindow() = 0;
    // Adds a line to the events panel as it is, without a time stamp.
    virtual void AppendEventsLine(const QString& line) = 0;
    // The close goes through: the window closes and the program ends.
    virtual void FinishClose() = 0;
};

// Quitting and every attempt to close the main window. A close only goes through once the program
// is to end; running jobs are then cancelled and given at most five seconds, waited for on a timer
// so the window keeps answering meanwhile.
class TProgramClosing : public QObject {
    Q_OBJECT
public:
    static constexpr int WaitMilliseconds = 5000;
    static constexpr int PollMilliseconds = 10;

    TProgramClosing(TJobListSource jobs, IClosingWindow& window, IUserPrompt& prompt,
                    QObject* parent = nullptr);

    // The Quit command: confirm, then close.
    void Quit();
    // Every close attempt of the main window (the close box, Minimize, Quit, the session's end).
    void CloseQuery();
    // The session ends (log out, shut down, SIGTERM): close without asking.
    void SessionEnding();
    // The session's end was called off: later closes hide the window again.
    void SessionEndCancelled();

    bool Waiting() const { return poll_.isActive(); }
    bool Finished() const { return finished_; }

Q_SIGNALS:
    void Closed();

private:
    void Poll();
    void Finish();

    TJobListSource jobs_;
    IClosingWindow& window_;
    IUserPrompt& prompt_;
    QTimer poll_;
    QElapsedTimer waited_;
    bool finished_ = false;
};

} // namespace morvane
