#include "control/program_closing.h"

#include "control/user_prompt.h"
#include "i18n/translation.h"
#include "platform/program_state.h"

namespace morvane {

TProgramClosing::TProgramClosing(TJobListSource jobs, IClosingWindow& window, IUserPrompt& prompt,
                                 QObject* parent)
    : QObject(parent), jobs_(std::move(jobs)), window_(window), prompt_(prompt) {
    poll_.setInterval(PollMilliseconds);
    connect(&poll_, &QTimer::timeout, this, &TProgramClosing::Poll);
}

void TProgramClosing::Quit() {
    if (finished_ || Waiting())
        return;
    if (AnyJobIsActive(jobs_())) {
        const QString text = Translate(QStringLiteral("Some jobs are currently running.")) +
                             QStringLiteral("\r\n") +
                             Translate(QStringLiteral("Do you want to cancel them and quit?"));
        if (!prompt_.Confirm(text))
            return;
        window_.AppendEventsLine(text);
    } else {
        const QString text =
            FormatText(Translate(QStringLiteral("Quit %s?")), {QString::fromUtf16(ApplicationTitle)});
        if (!prompt_.Confirm(text))
            return;
    }
    Program().ClosingRequested = true;
    CloseQuery();
}

void TProgramClosing::CloseQuery() {
    window_.SaveFormPosAndView();
    if (finished_ || Waiting())
        return;
    if (!Program().ClosingRequested) {
        window_.HideWindow();
        return;
    }
    const std::vector<TJob*> jobs = jobs_();
    if (!AnyJobIsActive(jobs)) {
        Finish();
        return;
    }
    // Cancel All.
    for (TJob* job : jobs)
        job->Cancel();
    waited_.start();
    poll_.start();
}

void TProgramClosing::SessionEnding() {
    Program().ClosingRequested = true;
    CloseQuery();
}

void TProgramClosing::SessionEndCancelled() {
    if (!Waiting() && !finished_)
        Program().ClosingRequested = false;
}

void TProgramClosing::Poll() {
    // Jobs still active after the wait are abandoned.
    if (AnyJobIsActive(jobs_()) && waited_.elapsed() < WaitMilliseconds)
        return;
    poll_.stop();
    Finish();
}

void TProgramClosing::Finish() {
    finished_ = true;
    window_.FinishClose();
    Q_EMIT Closed();
}

} // namespace morvane
