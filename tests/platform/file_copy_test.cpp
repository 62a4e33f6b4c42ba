#include "platform/file_copy.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {
namespace {

constexpr off_t MiB = off_t(1) << 20;

struct Piece {
    off_t offset;
    QByteArray data;
};

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

int64_t Allocated(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int64_t(info.st_blocks) * 512 : -1;
}

// A copy has the content of its source and keeps its holes, wherever they lie, in every way of
// writing the target.
TEST(FileCopyTest, HolesStayHolesAndTheContentIsEqual) {
    struct Case {
        const char* name;
        QList<Piece> pieces;
        off_t size;
    };
    const Case cases[] = {
        {"dense", {{0, QByteArray(100000, 'd')}}, 100000},
        {"hole first", {{2 * MiB, "tail"}}, 2 * MiB + 4},
        {"hole between", {{0, "head"}, {2 * MiB, "middle"}, {4 * MiB, "tail"}}, 4 * MiB + 4},
        {"hole last", {{0, "head"}}, 3 * MiB},
        {"only a hole", {}, 3 * MiB},
        {"empty", {}, 0},
    };
    const TTargetWrite writes[] = {TTargetWrite::Atomic, TTargetWrite::NewOnly, TTargetWrite::InPlace};
    QTemporaryDir dir;
    for (const Case& c : cases) {
        const QString source = dir.filePath(QString::fromLatin1(c.name));
        const int fd = ::open(QFile::encodeName(source).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0640);
        ASSERT_GE(fd, 0);
        for (const Piece& piece : c.pieces)
            ASSERT_EQ(::pwrite(fd, piece.data.constData(), size_t(piece.data.size()), piece.offset),
                      ssize_t(piece.data.size()));
        ASSERT_EQ(::ftruncate(fd, c.size), 0);
        ::close(fd);
        const QByteArray content = Bytes(source);
        for (const TTargetWrite write : writes) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(int(write)));
            const QString target = source + QStringLiteral(".copy");
            QFile::remove(target);
            std::atomic<int32_t> progress{-1};
            TCopyFileSettings settings;
            settings.Progress = &progress;
            settings.TargetWrite = write;
            ASSERT_EQ(CopyLocalFile(source, target, settings), 0);
            EXPECT_EQ(Bytes(target), content);
            EXPECT_LE(Allocated(target), Allocated(source) + 64 * 1024);
            EXPECT_EQ(progress, c.size > 0 ? 100 : 0);
        }
    }
}

// A link is never followed: its copy is a small file holding its target, with the link's own time.
TEST(FileCopyTest, ALinkIsCopiedAsItsTargetNeverFollowed) {
    QTemporaryDir dir;
    const QByteArray link = QFile::encodeName(dir.filePath(QStringLiteral("link")));
    const QByteArray target = QFile::encodeName(dir.filePath(QStringLiteral("secret")));
    QFile secret(dir.filePath(QStringLiteral("secret")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly) && secret.write("secret") == 6);
    secret.close();
    ASSERT_EQ(::symlink(target.constData(), link.constData()), 0);
    const timespec times[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, link.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    const QString copy = dir.filePath(QStringLiteral("copy"));
    ASSERT_EQ(CopyLocalFile(QFile::decodeName(link), copy, {}), 0);
    EXPECT_EQ(Bytes(copy), target);
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(copy).constData(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mtim.tv_sec, 1'600'000'000);
}

struct stat StatOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

// A temporary copy moved into place ends as its copy would: same content, mode, times and owner; a
// move that must not replace leaves an existing target alone.
TEST(FileCopyTest, AMovedFileEndsAsItsCopyWould) {
    struct Case {
        const char* name;
        mode_t mode;
        bool targetExists;
    };
    const Case cases[] = {
        {"new", 0640, false},
        {"read-only", 0444, false},
        {"executable", 0755, false},
        {"replacing", 0600, true},
    };
    QTemporaryDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = [&](const char* role) {
            return dir.filePath(QString::fromLatin1(c.name) + u'.' + QLatin1String(role));
        };
        QFile source(path("source"));
        ASSERT_TRUE(source.open(QIODevice::WriteOnly) && source.write(QByteArray(5000, 'm')) == 5000);
        source.close();
        const QByteArray encoded = QFile::encodeName(path("source"));
        const timespec times[2] = {{1'500'000'000, 123456789}, {1'600'000'000, 987654321}};
        ASSERT_EQ(::utimensat(AT_FDCWD, encoded.constData(), times, 0), 0);
        ASSERT_EQ(::chmod(encoded.constData(), c.mode), 0);
        // The storage side of a run: from a temporary copy, by a copy or by a move.
        ASSERT_EQ(CopyLocalFile(path("source"), path("temp"), {.TargetWrite = TTargetWrite::InPlace}), 0);
        ASSERT_EQ(CopyLocalFile(path("source"), path("moved"), {.TargetWrite = TTargetWrite::InPlace}), 0);
        if (c.targetExists) {
            QFile old(path("target"));
            ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
            old.close();
            EXPECT_EQ(MoveLocalFile(path("moved"), path("target"), false), EEXIST);
            EXPECT_EQ(Bytes(path("target")), "old");
        }
        ASSERT_EQ(CopyLocalFile(path("temp"), path("copied"), {.TargetWrite = TTargetWrite::Atomic}), 0);
        ASSERT_EQ(MoveLocalFile(path("moved"), path("target"), c.targetExists), 0);
        EXPECT_FALSE(QFileInfo::exists(path("moved")));
        EXPECT_EQ(Bytes(path("target")), Bytes(path("copied")));
        const struct stat copied = StatOf(path("copied"));
        const struct stat moved = StatOf(path("target"));
        EXPECT_EQ(moved.st_mode, copied.st_mode);
        EXPECT_EQ(moved.st_uid, copied.st_uid);
        EXPECT_EQ(moved.st_gid, copied.st_gid);
        EXPECT_EQ(moved.st_mtim.tv_sec, copied.st_mtim.tv_sec);
        EXPECT_EQ(moved.st_mtim.tv_nsec, copied.st_mtim.tv_nsec);
        EXPECT_EQ(moved.st_atim.tv_sec, copied.st_atim.tv_sec);
        EXPECT_EQ(moved.st_mtim.tv_sec, 1'600'000'000);
    }
}

} // namespace
} // namespace morvane
