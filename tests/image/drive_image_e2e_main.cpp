#include "image/drive_image_e2e.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

namespace morvane::testing {

namespace {
bool privateMounts = false;
} // namespace

bool InPrivateMountNamespace() {
    return privateMounts;
}

} // namespace morvane::testing

int main(int argc, char** argv) {
    // Entered before any thread exists, so every thread and program started later shares it; mounts
    // made here never propagate to the rest of the system.
    morvane::testing::privateMounts =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
