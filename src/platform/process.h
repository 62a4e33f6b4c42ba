#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace morvane {

// A started program whose standard output and standard error arrive through one pipe. Releasing it
// closes the pipe without ending the program; a program still running is reaped once it ends.
class IChildProcess {
public:
    virtual ~IChildProcess() = default;
    // Waits at most `milliseconds` for the program to end. True when it has ended or the wait failed.
    virtual bool WaitForEnd(int milliseconds) = 0;
    // The number of output bytes that can be read without blocking.
    virtual qint64 BytesAvailable() = 0;
    // Reads at most `maximum` output bytes; only call it when BytesAvailable() is above 0.
    virtual QByteArray Read(qint64 maximum) = 0;
};

// Starting other programs. Every call may come from any thread.
class IProcessService {
public:
    virtual ~IProcessService() = default;
    // Starts `program` (a bare name is looked up in PATH) with the arguments of `arguments`, split as
    // SplitCommandLine does, its output read through a pipe and its input empty. Nothing and an errno
    // value in `error` when the pipe or the program cannot be started.
    virtual std::unique_ptr<IChildProcess> StartWithOutputPipe(const QString& program,
                                                               const QString& arguments, int& error) = 0;
    // Starts `program` with administrator rights and `parameters` (split as above), its output
    // discarded, without waiting for it to end. When this process lacks the rights, the system's
    // authentication prompt is answered first. True when the program was started.
    virtual bool LaunchElevated(const QString& program, const QString& parameters) = 0;
};

// Programs started directly, and elevated through the policy-kit launcher when this process is not
// run by root.
IProcessService& SystemProcessService();

// The arguments of a command-line text: blanks separate them; a double quote starts or ends a quoted
// part, in which blanks are kept, and is removed; 2n backslashes before a double quote give n
// backslashes, 2n+1 give n and a literal double quote; every other backslash is literal.
QStringList SplitCommandLine(const QString& text);

} // namespace morvane
