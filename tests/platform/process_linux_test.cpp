#include "platform/process.h"

#include "fixtures/temp_home.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using ProcessTest = testing::TempHomeTest;

// Reads the way a drive-image run does: whatever the pipe holds, in pieces of at most `chunk` bytes,
// until the program has ended.
QList<QByteArray> ReadUntilEnd(IChildProcess& process, qint64 chunk) {
    QList<QByteArray> pieces;
    while (true) {
        const bool ended = process.WaitForEnd(100);
        while (process.BytesAvailable() > 0) {
            pieces.append(process.Read(chunk));
            if (pieces.last().size() < chunk)
                break;
        }
        if (ended)
            return pieces;
    }
}

TEST_F(ProcessTest, OutputAndErrorsArriveThroughOnePipeInBoundedPieces) {
    int error = -1;
    const std::unique_ptr<IChildProcess> process = SystemProcessService().StartWithOutputPipe(
        u"sh"_s,
        u"-c \"head -c 5000 /dev/zero | tr '\\0' x; echo; echo to-errors >&2; read line; echo read:$line\""_s,
        error);
    ASSERT_TRUE(process) << error;
    const QList<QByteArray> pieces = ReadUntilEnd(*process, 2400);
    QByteArray all;
    for (const QByteArray& piece : pieces) {
        EXPECT_LE(piece.size(), 2400);
        all += piece;
    }
    // The program's input is empty, so it never waits for an answer.
    EXPECT_EQ(all, QByteArray(5000, 'x') + "\nto-errors\nread:\n");
}

TEST_F(ProcessTest, AProgramThatCannotBeStartedGivesTheSystemsReason) {
    for (const QString& program : {u"morvane-no-such-program"_s, HomePath(u"missing/tool"_s)}) {
        SCOPED_TRACE(program.toStdString());
        int error = 0;
        EXPECT_FALSE(SystemProcessService().StartWithOutputPipe(program, u"start backup"_s, error));
        EXPECT_EQ(error, ENOENT);
        if (::geteuid() == 0) {
            EXPECT_FALSE(SystemProcessService().LaunchElevated(program, u"stop job -quiet"_s));
        }
    }
}

TEST_F(ProcessTest, ARunningProgramOutlivesItsReleasedHandle) {
    const QString marker = HomePath(u"marker"_s);
    int error = 0;
    std::unique_ptr<IChildProcess> process = SystemProcessService().StartWithOutputPipe(
        u"sh"_s, u"-c \"sleep 0.3; echo more; echo done > '"_s + marker + u"'\""_s, error);
    ASSERT_TRUE(process);
    EXPECT_FALSE(process->WaitForEnd(0));
    process.reset();
    // Releasing closes nothing the program needs: it goes on and finishes its work.
    for (int i = 0; i < 600 && !QFileInfo::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(QFileInfo::exists(marker));
}

TEST_F(ProcessTest, AnElevatedLaunchRunsTheProgramWithoutWaitingForIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "without root the launch asks for authentication";
    const QString marker = HomePath(u"launched"_s);
    EXPECT_TRUE(SystemProcessService().LaunchElevated(u"sh"_s, u"-c \"echo \\\"$0 $1\\\" > '"_s + marker +
                                                                   u"'\" a \"b c\""_s));
    for (int i = 0; i < 600 && testing::ReadFileBytes(marker).isEmpty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(testing::ReadFileBytes(marker), "a b c\n");
}

} // namespace
} // namespace morvane
