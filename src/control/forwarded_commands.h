#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>
#include <memory>

namespace morvane {

class TJobsCatalogue;

struct TCommandAnswer {
    int status = 0;
    QString output;
    QString errors;
};

// The command-line tool's job commands when the desktop program owns the jobs. "backup" queues the
// job as the window's Backup command does. The commands that change the catalogue or a job file run
// in a command-line tool the desktop program starts with the lock lent to it; the jobs are handed
// over only while every job is idle, and are loaded again afterwards.
class TForwardedCommands : public QObject {
    Q_OBJECT
public:
    using TAnswer = std::function<void(const TCommandAnswer&)>;

    TForwardedCommands(TJobsCatalogue& catalogue, QString cliPath, QObject* parent = nullptr);
    ~TForwardedCommands() override;

    void Run(const QStringList& arguments, const QString& directory, const QByteArray& input, TAnswer answer);

    // True while a command-line tool works on the jobs: the scheduler starts nothing and the window
    // changes nothing meanwhile.
    bool JobsLent() const { return process_ != nullptr; }

Q_SIGNALS:
    // The catalogue was loaded again: every job object was replaced.
    void JobsReloaded();

private:
    TCommandAnswer QueueBackup(const QString& name);
    void Lend(const QStringList& arguments, const QString& directory, const QByteArray& input,
              TAnswer answer);
    void Reload();

    TJobsCatalogue& catalogue_;
    QString cliPath_;
    std::unique_ptr<QProcess> process_;
};

} // namespace morvane
