#include "fixtures/samba_server.h"
#include "fixtures/temp_home.h"
#include "jobs/job.h"
#include "platform/file_names.h"
#include "storage/storage_connection.h"
#include "storage_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CountLines;
using testing::LogTexts;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

// Every file operation against a real SMB share, through a connected job.
class SmbStorageTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        server = testing::SambaServer::Shared();
        if (!server)
            GTEST_SKIP() << "Samba server unavailable: "
                         << testing::SambaServer::StartFailure().toStdString();
        testing::PrepareJob(job, HomePath(u"tmp"_s));
        QDir().mkpath(HomePath(u"tmp/Docs"_s));
        QDir().mkpath(HomePath(u"local"_s));
        folder = u"run-"_s + QString::number(QRandomGenerator::global()->generate());
        QDir().mkpath(Served(QString()));
        job.DestinationType = dtNetwork;
        job.DestinationPath = server->UncPath(folder);
        job.Destination_NetworkUsername = server->User();
        job.Destination_NetworkPassword = server->Password();
        ASSERT_TRUE(job.ConnectToStorage().Connected) << LogTexts(job).join(u'\n').toStdString();
        job.LastJobResult.Log.clear();
    }
    void TearDown() override {
        if (server) {
            job.DisconnectFromStorage();
            QDir(Served(QString())).removeRecursively();
        }
        TempHomeTest::TearDown();
    }
    // The storage path of a name inside this test's folder on the share (joined as the engine joins).
    QString Remote(const QString& relative) const { return job.DestinationPath + u'/' + relative; }
    // The same entry seen through the server's own folder.
    QString Served(const QString& relative) const {
        return server->ShareFolder() + u'/' + folder + (relative.isEmpty() ? QString() : u'/' + relative);
    }
    QString Local(const QString& name) const { return HomePath(u"local/"_s + name); }

    testing::SambaServer* server = nullptr;
    QString folder;
    TJob_FilesAndFolders job{u"Docs"_s};
};

TEST_F(SmbStorageTest, FileOfSeveralMebibytesMakesTheRoundTripWithProgress) {
    QByteArray content(9 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>((i * 131) >> 3);
    WriteFileBytes(Local(u"big.bin"_s), content);
    const TOperationResult up =
        job.FileOperation(atCopyFromLocalToRemoteFile, Local(u"big.bin"_s), Remote(u"big.bin"_s), 0, true);
    ASSERT_EQ(up, orSuccess) << LogTexts(job).join(u'\n').toStdString();
    EXPECT_EQ(job.CurrentFileOperationProgress, 100);
    EXPECT_EQ(ReadFileBytes(Served(u"big.bin"_s)), content);
    EXPECT_EQ(job.CurrentBackupSize, content.size());

    EXPECT_EQ(
        job.FileOperation(atCopyFromRemoteToLocalFile, Local(u"back.bin"_s), Remote(u"big.bin"_s), 0, true),
        orSuccess);
    EXPECT_EQ(ReadFileBytes(Local(u"back.bin"_s)), content);
    // The share keeps whole seconds.
    EXPECT_EQ(QFileInfo(Local(u"back.bin"_s)).lastModified().toSecsSinceEpoch(),
              QFileInfo(Local(u"big.bin"_s)).lastModified().toSecsSinceEpoch());
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 0);
}

// The canceller acts only once progress was published, so this also shows progress during a copy.
TEST_F(SmbStorageTest, CancelledUploadKeepsThePreviousFileAndLeavesNoPartialOne) {
    WriteFileBytes(Local(u"big.bin"_s), QByteArray(64 * 1024 * 1024, 'c'));
    WriteFileBytes(Served(u"big.bin"_s), "previous");
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done && job.CurrentFileOperationProgress.load() == 0)
            std::this_thread::yield();
        job.CancelCurrentFileOperation = -1;
    });
    const TOperationResult result =
        job.FileOperation(atCopyFromLocalToRemoteFile, Local(u"big.bin"_s), Remote(u"big.bin"_s), 1, true);
    done = true;
    canceller.join();
    EXPECT_EQ(result, orERROR_RemoteAccess);
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
    EXPECT_EQ(ReadFileBytes(Served(u"big.bin"_s)), "previous");
    EXPECT_EQ(QDir(Served(QString())).entryList(QDir::Files | QDir::Hidden), QStringList{u"big.bin"_s});
}

TEST_F(SmbStorageTest, FolderAndFileActionsOnTheShare) {
    WriteFileBytes(Local(u"a.txt"_s), "alpha");
    EXPECT_EQ(job.FileOperation(atCreateRemoteFolder, QString(), Remote(u"x/y/z"_s), 0, true), orSuccess);
    EXPECT_TRUE(QFileInfo(Served(u"x/y/z"_s)).isDir());
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Local(u"a.txt"_s),
                                Remote(u"x/y/z/a.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Served(u"x/y/z/a.txt"_s)), "alpha");
    EXPECT_FALSE(QFile::exists(HomePath(u"tmp/Docs/a.txt"_s)));
    // A storage path written with backslashes only still names its temporary copy by the file name,
    // as the retry's line shows.
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Local(u"a.txt"_s),
                                server->UncPath(folder + u"/missing/t.txt"_s), 1, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"Copying the file: "_s + HomePath(u"tmp/Docs/t.txt"_s)), 1);
    EXPECT_TRUE(QDir(HomePath(u"tmp/Docs"_s)).isEmpty());
    job.LastJobResult.ErrorsCount = 0;

    // Renames of files and folders, refused onto existing entries.
    EXPECT_EQ(
        job.FileOperation(atRenameRemoteFile, Remote(u"x/y/z/b.txt"_s), Remote(u"x/y/z/a.txt"_s), 0, true),
        orSuccess);
    EXPECT_EQ(ReadFileBytes(Served(u"x/y/z/b.txt"_s)), "alpha");
    WriteFileBytes(Served(u"x/y/z/c.txt"_s), "gamma");
    EXPECT_EQ(
        job.FileOperation(atRenameRemoteFile, Remote(u"x/y/z/c.txt"_s), Remote(u"x/y/z/b.txt"_s), 0, true),
        orERROR_RemoteAccess);
    EXPECT_EQ(ReadFileBytes(Served(u"x/y/z/c.txt"_s)), "gamma");
    EXPECT_EQ(job.FileOperation(atRenameRemoteFolder, Remote(u"x/w"_s), Remote(u"x/y"_s), 0, true),
              orSuccess);
    EXPECT_TRUE(QFileInfo(Served(u"x/w/z/b.txt"_s)).isFile());
    QDir().mkpath(Served(u"x/v"_s));
    EXPECT_EQ(job.FileOperation(atRenameRemoteFolder, Remote(u"x/v"_s), Remote(u"x/w"_s), 0, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"ERROR: The specified directory already exists"_s), 1);

    // File removal, then an empty folder and a full one.
    EXPECT_EQ(job.FileOperation(atRemoveRemoteFile, QString(), Remote(u"x/w/z/c.txt"_s), 0, true), orSuccess);
    EXPECT_FALSE(QFile::exists(Served(u"x/w/z/c.txt"_s)));
    EXPECT_EQ(job.FileOperation(atRemoveRemoteFile, QString(), Remote(u"x/w/z/c.txt"_s), 0, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteEmptyFolder, QString(), Remote(u"x/v"_s), 0, true), orSuccess);
    EXPECT_FALSE(QFile::exists(Served(u"x/v"_s)));
    EXPECT_EQ(job.FileOperation(atRemoveRemoteEmptyFolder, QString(), Remote(u"none"_s), 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteNotEmptyFolder, QString(), Remote(u"x"_s), 0, true), orSuccess);
    EXPECT_FALSE(QFile::exists(Served(u"x"_s)));
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 3);
}

// A copy learns what its source is from the open file and creates a new target exclusively, so what
// lies at either end must still give the error a look by name would have given, and leave no trace.
TEST_F(SmbStorageTest, CopiesFromAFolderOrAMissingFileFailAndAnExistingRestoredFileIsReplaced) {
    QDir().mkpath(Served(u"folder"_s));
    // A folder where a file should be is a missing file, as a look by name says.
    for (const QString& remote : {u"missing.txt"_s, u"folder"_s, u"none/missing.txt"_s}) {
        job.LastJobResult.Log.clear();
        EXPECT_EQ(
            job.FileOperation(atCopyFromRemoteToLocalFile, Local(u"out.txt"_s), Remote(remote), 0, true),
            orERROR_RemoteAccess)
            << remote.toStdString();
        EXPECT_EQ(CountLines(job, u"ERROR: The file does not exist."_s), 1)
            << LogTexts(job).join(u'\n').toStdString();
        EXPECT_FALSE(QFile::exists(Local(u"out.txt"_s))) << remote.toStdString();
    }
    // A file restored over an existing one replaces it; one stored over an existing read-only one too.
    WriteFileBytes(Served(u"a.txt"_s), "stored");
    WriteFileBytes(Local(u"out.txt"_s), "older");
    EXPECT_EQ(
        job.FileOperation(atCopyFromRemoteToLocalFile, Local(u"out.txt"_s), Remote(u"a.txt"_s), 0, true),
        orSuccess);
    EXPECT_EQ(ReadFileBytes(Local(u"out.txt"_s)), "stored");
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Local(u"out.txt"_s),
                                Remote(u"folder/b.txt"_s), 0, true),
              orSuccess);
    WriteFileBytes(Local(u"out.txt"_s), "newer");
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Local(u"out.txt"_s),
                                Remote(u"folder/b.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Served(u"folder/b.txt"_s)), "newer");
    EXPECT_EQ(QDir(Served(u"folder"_s)).entryList(QDir::Files | QDir::Hidden), QStringList{u"b.txt"_s});
}

TEST_F(SmbStorageTest, ReadOnlyFilesOnTheShareAreMadeWritableFirst) {
    WriteFileBytes(Local(u"a.txt"_s), "new");
    WriteFileBytes(Local(u"ro.txt"_s), "ro");
    QFile::setPermissions(Local(u"ro.txt"_s), QFile::ReadOwner);
    // A read-only source arrives read-only, as the share shows it.
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Local(u"ro.txt"_s), Remote(u"a.txt"_s), 0, true),
              orSuccess);
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Local(u"a.txt"_s), Remote(u"a.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(CountLines(job, u"Removing the read-only attribute: "_s + Remote(u"a.txt"_s)), 1);
    EXPECT_EQ(ReadFileBytes(Served(u"a.txt"_s)), "new");
}

// Names read back from the share (to remove a folder's contents) must be the names written: a U+FEFF
// that starts one is a character of the name, not a byte-order mark.
TEST_F(SmbStorageTest, NamesThatNeedEscapingReachTheShareUnchanged) {
    WriteFileBytes(Local(u"n.txt"_s), "n");
    for (const QString& name : {u"50% done #1 & été;%41.txt"_s, u"\uFEFFmarked.txt"_s}) {
        EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Local(u"n.txt"_s),
                                    Remote(name), 0, true),
                  orSuccess)
            << LogTexts(job).join(u'\n').toStdString();
        EXPECT_EQ(ReadFileBytes(Served(name)), "n") << name.toStdString();
    }
    EXPECT_EQ(job.FileOperation(atRemoveRemoteNotEmptyFolder, QString(), job.DestinationPath, 0, true),
              orSuccess);
    EXPECT_FALSE(QFile::exists(Served(QString())));
}

// A share names its files in Unicode, so a local name whose bytes are not UTF-8 has no name there:
// that is said once, without retries, and the entry is left out (a folder is simply not made).
TEST_F(SmbStorageTest, ANameThatIsNotUtf8IsRefusedAtOnce) {
    const QString name = NameFromBytes("bad\xFF.txt");
    WriteFileBytes(Local(u"n.txt"_s), "n");
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Local(u"n.txt"_s), Remote(name), 3, true),
              orERROR_LocalAccess);
    EXPECT_EQ(CountLines(job, u"ERROR: The name cannot be stored on the backup storage: "_s + Remote(name)),
              1)
        << LogTexts(job).join(u'\n').toStdString();
    EXPECT_EQ(CountLines(job, u"Retry after"_s), 0);
    EXPECT_EQ(job.FileOperation(atCreateRemoteFolder, QString(), Remote(name + u"/sub"_s), 0, true),
              orSuccess);
    EXPECT_TRUE(QDir(Served(QString())).isEmpty());
}

} // namespace
} // namespace morvane

namespace morvane {
namespace {

// Two jobs on one share at once, each on its own thread with its own connection, as two running
// backups do.
TEST_F(SmbStorageTest, TwoJobsUseTheShareAtOnceFromTheirOwnThreads) {
    const QByteArray content(2 * 1024 * 1024 + 5, 'j');
    WriteFileBytes(Local(u"j.bin"_s), content);
    auto runJob = [&](const QString& name, TOperationResult* results) {
        TJob_FilesAndFolders other(name);
        testing::PrepareJob(other, HomePath(u"tmp"_s));
        other.DestinationType = dtNetwork;
        other.DestinationPath = job.DestinationPath;
        other.Destination_NetworkUsername = server->User();
        other.Destination_NetworkPassword = server->Password();
        other.ConnectToStorage();
        results[0] =
            other.FileOperation(atCopyFromLocalToRemoteFile, Local(u"j.bin"_s), Remote(name), 1, true);
        results[1] = other.FileOperation(atCopyFromRemoteToLocalFile, Local(name), Remote(name), 1, true);
        other.DisconnectFromStorage();
    };
    TOperationResult first[2] = {orERROR_LocalAccess, orERROR_LocalAccess};
    TOperationResult second[2] = {orERROR_LocalAccess, orERROR_LocalAccess};
    std::thread one(runJob, u"One"_s, first);
    std::thread two(runJob, u"Two"_s, second);
    one.join();
    two.join();
    for (const TOperationResult result : {first[0], first[1], second[0], second[1]})
        EXPECT_EQ(result, orSuccess);
    EXPECT_EQ(ReadFileBytes(Served(u"One"_s)), content);
    EXPECT_EQ(ReadFileBytes(Local(u"Two"_s)), content);
}

} // namespace
} // namespace morvane
