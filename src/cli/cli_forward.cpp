#include "cli/cli_forward.h"

#include "cli/cli_support.h"
#include "core/instance_channel.h"
#include "platform/instance_lock.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace morvane {

bool DelegatedByLockHolder() {
    const QByteArray value = qgetenv(LockDelegationVariable);
    if (value.isEmpty())
        return false;
    bool ok = false;
    const qint64 delegator = value.toLongLong(&ok);
    // Only the process that holds the lock, and started this one, can lend it.
    return ok && delegator == static_cast<qint64>(getppid()) &&
           TInstanceLock::HolderProcessId(InstanceLockPath()) == delegator;
}

std::optional<int> ForwardToDesktopProgram(const QStringList& arguments) {
    TInstanceRequest request;
    request.kind = TInstanceRequest::Kind::Command;
    request.arguments = arguments;
    request.directory = QDir::currentPath();
    if (arguments.contains(QStringLiteral("--password-stdin"))) {
        QFile input;
        if (input.open(stdin, QIODevice::ReadOnly))
            request.input = input.readAll();
    }
    const std::optional<TInstanceReply> reply = SendToRunningInstance(request, -1);
    if (!reply)
        return std::nullopt;
    Out() << reply->output;
    Out().flush();
    Err() << reply->errors;
    Err().flush();
    return reply->status;
}

} // namespace morvane
