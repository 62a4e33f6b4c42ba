#include "imager_output.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace morvane::imager {

namespace {

// A reader that went away must not stop the backup, so write failures are ignored (SIGPIPE is
// ignored in main()).
void WriteAll(const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(STDOUT_FILENO, bytes.constData() + written, bytes.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return;
        written += result;
    }
}

} // namespace

void PrintLine(const QString& text) {
    WriteAll(text.toUtf8() + '\n');
}

void PrintError(const QString& text) {
    PrintLine(QStringLiteral("ERROR ") + text);
}

void PrintProgress(const QString& status, int percent) {
    PrintLine(status + QStringLiteral(", copied (") + QString::number(percent) + QStringLiteral("%)."));
}

void PrintBanner() {
    PrintLine(QStringLiteral("morvane-imager " MORVANE_VERSION " - Backup command-line tool"));
    PrintLine(QStringLiteral("Copyright (C) Morvane Backup. All rights reserved."));
    PrintLine(QString());
}

QString SystemErrorText(int errorNumber) {
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace morvane::imager
