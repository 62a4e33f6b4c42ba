#include "platform/local_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

namespace morvane {
namespace {

TEST(LocalFilesTest, CreateDirectoriesMakesEveryMissingLevelAndRefusesAFileInTheWay) {
    QTemporaryDir dir;
    const auto at = [&](const char* relative) {
        return dir.filePath(QString::fromLatin1(relative));
    };
    QDir().mkpath(at("there"));
    QFile file(at("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    // A folder deeper than the system's path limit is reached one level at a time.
    QString deep = at("deep");
    while (deep.size() < PATH_MAX + 100)
        deep += QStringLiteral("/level-of-a-long-path");

    struct Case {
        QString path;
        int error;
    };
    const Case cases[] = {
        {at("there"), 0},
        {at("new"), 0},
        {at("a/b/c/d"), 0},
        {at("there/x/y"), 0},
        {at("file"), ENOTDIR},
        {at("file/below"), ENOTDIR},
        {deep, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.left(120).toStdString());
        EXPECT_EQ(LocalCreateDirectories(c.path), c.error);
        TLocalEntry entry;
        EXPECT_EQ(LocalStat(c.path, entry), 0);
        EXPECT_EQ(entry.IsDirectory, c.error == 0);
    }
}

} // namespace
} // namespace morvane
