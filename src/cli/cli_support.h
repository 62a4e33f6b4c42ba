#pragma once

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace morvane {

class TJob;
class TJobsCatalogue;

QTextStream& Out();
QTextStream& Err();

// Prints the problem and the usage text on stderr; returns the usage exit status.
int Usage(const QString& problem);
// Prints the usage to stdout for --help; returns ExitOk.
int Help();
// Prints a failure on stderr (CR LF of message-box texts as plain line breaks); returns `status`.
int Fail(const QString& message, int status);

// The arguments after the command: positional words, options with a value, and flags.
class TCliArguments {
public:
    // Unknown options and options missing their value leave a problem text.
    TCliArguments(const QStringList& arguments, const QSet<QString>& valueOptions,
                  const QSet<QString>& flags);

    QString problem;
    QStringList positional;

    bool Has(const QString& option) const;
    QString Value(const QString& option) const;
    QStringList Values(const QString& option) const;

private:
    QList<QPair<QString, QString>> options_;
};

// Moves what the program wrote to the events log to a stream, one line each.
void PrintEvents(QTextStream& stream);

// The job of that name (exact first, then ignoring the case of A-Z), or nullptr after saying so.
TJob* FindJob(const TJobsCatalogue& catalogue, const QString& name);

// SIGINT and SIGTERM set a flag that the waiting loop reads; the handler does nothing else.
void InstallInterruptHandlers();
bool InterruptRequested();

// Waits until a started run has ended, cancelling it on SIGINT or SIGTERM, with a progress line on a
// terminal (plain lines otherwise); then prints the run's events on stdout. Exit status: 0 finished,
// 1 finished with errors, 2 cancelled.
int WaitForRun(TJob& job, bool showCounters);

} // namespace morvane
