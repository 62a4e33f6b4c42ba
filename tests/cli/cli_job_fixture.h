#pragma once

#include "fixtures/temp_home.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

namespace morvane::testing {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the real morvane-cli (MORVANE_CLI_PATH) in a temporary home, with a source, a destination and an
// output folder inside it.
class CliJobTest : public TempHomeTest {
protected:
    CliRun Run(const QStringList& arguments, const QByteArray& input = QByteArray()) {
        return RunIn(QProcessEnvironment::systemEnvironment(), arguments, input);
    }
    CliRun RunIn(const QProcessEnvironment& environment, const QStringList& arguments,
                 const QByteArray& input = QByteArray()) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(MORVANE_CLI_PATH), arguments);
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    // Runs a command that must succeed.
    CliRun Ok(const QStringList& arguments, const QByteArray& input = QByteArray()) {
        const CliRun run = Run(arguments, input);
        EXPECT_EQ(run.exitCode, 0) << arguments.join(u' ').toStdString() << "\n" << run.err.toStdString();
        return run;
    }

    QString Src(const QString& relative = QString()) const { return Under(QStringLiteral("src"), relative); }
    QString Dest(const QString& relative = QString()) const {
        return Under(QStringLiteral("dest"), relative);
    }
    QString Out(const QString& relative = QString()) const { return Under(QStringLiteral("out"), relative); }
    QString Under(const QString& folder, const QString& relative) const {
        QDir().mkpath(HomePath(folder));
        return relative.isEmpty() ? HomePath(folder) : HomePath(folder + u'/' + relative);
    }
    void FreshOutput() { ASSERT_TRUE(QDir(Out()).removeRecursively() && QDir().mkpath(Out())); }

    // A backup of the source in a second of its own, so every run gets its own backup folder.
    void Backup(const QString& job) {
        QThread::msleep(1100);
        const CliRun run = Ok({QStringLiteral("backup"), job});
        EXPECT_TRUE(
            run.out.contains(QStringLiteral("Backup job \"") + job + QStringLiteral("\" is finished.")))
            << run.out.toStdString();
    }

    QJsonObject Show(const QString& job) {
        const CliRun run = Ok({QStringLiteral("show"), job, QStringLiteral("--json")});
        return QJsonDocument::fromJson(run.out.toUtf8()).object();
    }

    QStringList PointFolders(const QString& job) const {
        return QDir(Dest(job)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
};

} // namespace morvane::testing
