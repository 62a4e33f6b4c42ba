#include "platform/paths.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

TEST(JoinPathTest, PutsExactlyOneSeparatorBetween) {
    const char* const cases[][3] = {
        {"/home/ann", "job.qkd", "/home/ann/job.qkd"},
        {"/home/ann/", "job.qkd", "/home/ann/job.qkd"},
        {"/home/ann//", "/job.qkd", "/home/ann/job.qkd"},
        {"/", "home", "/home"},
        {"", "job.qkd", "job.qkd"},
        {"relative/dir", "x", "relative/dir/x"},
    };
    for (const auto& [directory, name, joined] : cases)
        EXPECT_EQ(JoinPath(QString::fromUtf8(directory), QString::fromUtf8(name)), QString::fromUtf8(joined))
            << directory << " + " << name;
}

TEST(ExtractFileExtTest, TakesTheLastDotOfTheFileNameOnly) {
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/a/b/Job.bmj")), u".bmj");
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/a/b/Job.BMJ")), u".BMJ");
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/a/b.d/Job")), u"");
    EXPECT_EQ(ExtractFileExt(QStringLiteral("archive.tar.gz")), u".gz");
    EXPECT_EQ(ExtractFileName(QStringLiteral("/a/b/Job.bmj")), u"Job.bmj");
}

} // namespace
} // namespace morvane
