#include "core/program_setup.h"
#include "fixtures/temp_home.h"
#include "platform/program_state.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>

namespace morvane {
namespace {

class ProgramStateTest : public testing::TempHomeTest {};

TEST_F(ProgramStateTest, DirectoriesFollowTheXdgFolders) {
    EXPECT_EQ(Program().ApplicationDirectory, HomePath(QStringLiteral("config/Morvane Backup")));
    EXPECT_EQ(Program().CommonApplicationDirectory, HomePath(QStringLiteral("data/Morvane Backup")));
    EXPECT_EQ(Program().TempFolderName, u"MorvaneBackupTmp");
}

TEST_F(ProgramStateTest, CreatesMissingDirectoriesPrivatelyAndSaysSo) {
    ASSERT_TRUE(QDir(AppDir()).removeRecursively());
    QString errorBox;
    ASSERT_TRUE(PrepareApplicationDirectories(&errorBox));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(AppDir()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(QFileInfo(Program().CommonApplicationDirectory).isDir());
    const QStringList events = TakeEventTexts();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0], u"Application directory is created: " + AppDir());
    EXPECT_FALSE(Program().ClosingRequested);
}

TEST_F(ProgramStateTest, AnAccountWithoutItsConfigurationAndDataFoldersGetsThem) {
    ASSERT_TRUE(QDir(HomePath(QStringLiteral("config"))).removeRecursively());
    ASSERT_TRUE(QDir(HomePath(QStringLiteral("data"))).removeRecursively());
    ASSERT_TRUE(PrepareApplicationDirectories(nullptr));
    EXPECT_TRUE(QFileInfo(AppDir()).isDir());
    EXPECT_TRUE(QFileInfo(Program().CommonApplicationDirectory).isDir());
    EXPECT_FALSE(Program().ClosingRequested);
}

TEST_F(ProgramStateTest, ExistingDirectoryIsTightenedWithoutAnEvent) {
    ASSERT_EQ(::chmod(QFile::encodeName(AppDir()).constData(), 0755), 0);
    ASSERT_TRUE(QDir().mkpath(Program().CommonApplicationDirectory));
    ASSERT_TRUE(PrepareApplicationDirectories(nullptr));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(AppDir()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

TEST_F(ProgramStateTest, AnUncreatableDirectoryEndsTheProgramWithAnErrorBox) {
    ASSERT_TRUE(QDir(AppDir()).removeRecursively());
    testing::WriteFileBytes(AppDir(), "a file where the folder should be");
    QString errorBox;
    EXPECT_FALSE(PrepareApplicationDirectories(&errorBox));
    EXPECT_TRUE(Program().ClosingRequested);
    EXPECT_EQ(errorBox,
              u"ERROR: Unable to create application directory:" + AppDir() +
                  u"\r\n\r\nPlease make sure the directory is accessible, and restart the program.");
    EXPECT_EQ(TakeEventTexts(), QStringList{u"ERROR: Unable to create application directory: " + AppDir()});
}

} // namespace
} // namespace morvane
