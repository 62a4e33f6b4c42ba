#include "platform/local_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// Entries below a folder are looked at without following a link on the way or at the end; the folder
// itself may be reached through one.
TEST(LocalFilesTest, StatBelowNeverFollowsALinkBelowTheBase) {
    QTemporaryDir dir;
    const auto at = [&](const char* relative) {
        return QFile::encodeName(dir.filePath(QString::fromLatin1(relative)));
    };
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("base/real/deeper"))));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("elsewhere"))));
    QFile file(dir.filePath(QStringLiteral("base/real/file")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_EQ(::symlink(at("elsewhere").constData(), at("base/link").constData()), 0);
    ASSERT_EQ(::symlink(at("base").constData(), at("base-link").constData()), 0);

    struct Case {
        const char* relative;
        int error;
        bool exists;
        bool link;
        bool folder;
    };
    const Case cases[] = {
        {"real/file", 0, true, false, false},
        {"real/deeper", 0, true, false, true},
        {"link", 0, true, true, false}, // the link itself, not what it names
        {"link/anything", ELOOP, false, false, false},
        {"link/x/y", ELOOP, false, false, false},
        {"real/missing/x", 0, false, false, false}, // nothing on the way to follow
        {"real/file/x", ENOTDIR, false, false, false},
    };
    for (const QString& base :
         {dir.filePath(QStringLiteral("base")), dir.filePath(QStringLiteral("base-link"))})
        for (const Case& c : cases) {
            SCOPED_TRACE(QString(base + u' ' + QString::fromLatin1(c.relative)).toStdString());
            TLocalEntry entry;
            EXPECT_EQ(LocalStatBelow(base, QString::fromLatin1(c.relative), entry), c.error);
            EXPECT_EQ(entry.Exists, c.exists);
            EXPECT_EQ(entry.SymbolicLink, c.link);
            EXPECT_EQ(entry.IsDirectory, c.folder);
        }
}

} // namespace
} // namespace morvane
