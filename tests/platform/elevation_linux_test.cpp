#include "platform/elevation.h"

#include "fixtures/temp_home.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

namespace morvane {
namespace {

// The launcher stands in for the policy-kit one: it either refuses, as a dismissed prompt does, or
// replaces itself with its command, as after a successful authentication. The "program" records
// what it was given and waits, as an elevated instance would run on.
class ElevationTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        program_ = HomePath(QStringLiteral("program"));
        WriteScript(program_, "#!/bin/sh\n"
                              "printf '%s\\n' \"$@\" > \"$HOME/arguments.tmp\"\n"
                              "echo $$ >> \"$HOME/arguments.tmp\"\n"
                              "mv \"$HOME/arguments.tmp\" \"$HOME/arguments\"\n"
                              "exec sleep 60\n");
    }

    void TearDown() override {
        if (programPid_ > 0)
            ::kill(static_cast<pid_t>(programPid_), SIGKILL);
        TempHomeTest::TearDown();
    }

    static void WriteScript(const QString& path, const QByteArray& text) {
        testing::WriteFileBytes(path, text);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The lines the program wrote, its process id last; empty when it never ran.
    QStringList ProgramRecord() {
        const QString path = HomePath(QStringLiteral("arguments"));
        const QDeadlineTimer deadline(10'000);
        while (!QFile::exists(path) && !deadline.hasExpired())
            QThread::msleep(20);
        QStringList lines = QString::fromUtf8(testing::ReadFileBytes(path)).split(u'\n', Qt::SkipEmptyParts);
        if (!lines.isEmpty())
            programPid_ = lines.takeLast().toLongLong();
        return lines;
    }

    QString program_;
    qint64 programPid_ = 0;
};

TEST_F(ElevationTest, StartsTheProgramWithItsArgumentsOnceTheLauncherHandsOver) {
    const QString launcher = HomePath(QStringLiteral("fakepkexec"));
    WriteScript(launcher, "#!/bin/sh\nexec \"$@\"\n");
    auto elevation = MakeElevation(launcher, program_);
    const QStringList arguments{QStringLiteral("/backup"), QStringLiteral("Job \"C\" = system")};
    EXPECT_TRUE(elevation->RestartElevated(arguments));
    EXPECT_EQ(ProgramRecord(), arguments);
}

TEST_F(ElevationTest, ARefusedOrMissingLauncherIsAFailure) {
    const QString refusing = HomePath(QStringLiteral("refusing"));
    WriteScript(refusing, "#!/bin/sh\nexit 126\n");
    for (const QString& launcher : {refusing, HomePath(QStringLiteral("missing"))}) {
        auto elevation = MakeElevation(launcher, program_);
        EXPECT_FALSE(elevation->RestartElevated({QStringLiteral("/admin")})) << launcher.toStdString();
    }
    EXPECT_FALSE(QFile::exists(HomePath(QStringLiteral("arguments"))));
}

} // namespace
} // namespace morvane
