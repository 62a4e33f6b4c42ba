#include "platform/instance_lock.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace morvane {
namespace {

TEST(InstanceLockTest, OneHolderAtATimeAndFreeOnceReleased) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("instance.lock"));
    {
        const TInstanceLock first(path);
        ASSERT_TRUE(first.Held());
        EXPECT_EQ(TInstanceLock::HolderProcessId(path), ::getpid());
        const TInstanceLock second(path);
        EXPECT_FALSE(second.Held());
        EXPECT_TRUE(second.Problem().isEmpty()); // held by another, not broken
    }
    const TInstanceLock again(path);
    EXPECT_TRUE(again.Held());
}

TEST(InstanceLockTest, AFolderThatCannotHoldTheLockIsAProblemNotAHolder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/instance.lock"));
    const TInstanceLock lock(path);
    EXPECT_FALSE(lock.Held());
    EXPECT_TRUE(lock.Problem().startsWith(path)) << lock.Problem().toStdString();
    EXPECT_EQ(TInstanceLock::HolderProcessId(path), 0);
}

} // namespace
} // namespace morvane
