#include "fixtures/samba_server.h"
#include "fixtures/temp_home.h"
#include "jobs/job.h"
#include "storage/storage_connection.h"
#include "storage_test_support.h"

#include <QDir>

#include <algorithm>
#include <cerrno>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::LogTexts;

class StorageConnectionTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        testing::PrepareJob(job, HomePath(u"tmp"_s));
    }
    TJob_FilesAndFolders job{u"Docs"_s};
};

TEST_F(StorageConnectionTest, ExternalDriveGivesTheJobFolderOrTheMissingFolderError) {
    job.DestinationPath = HomePath(u"Backups"_s);
    const TConnectResult missing = job.ConnectToStorage();
    EXPECT_FALSE(missing.Connected);
    EXPECT_EQ(missing.Error, u"ERROR: The directory does not exist: "_s + job.DestinationPath);
    EXPECT_EQ(missing.JobFolder, QString());
    EXPECT_EQ(LogTexts(job),
              (QStringList{u"Connecting to the external drive. Directory: "_s + job.DestinationPath,
                           u"ERROR: The directory does not exist: "_s + job.DestinationPath}));
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
    EXPECT_FALSE(job.NetworkConnection);

    QDir().mkpath(job.DestinationPath);
    const TConnectResult connected = job.ConnectToStorage();
    EXPECT_TRUE(connected.Connected);
    EXPECT_EQ(connected.JobFolder, job.DestinationPath + u"/Docs"_s);
    EXPECT_EQ(connected.Error, QString());
    job.LastJobResult.Log.clear();
    job.DisconnectFromStorage();
    EXPECT_EQ(LogTexts(job), QStringList{u"Disconnecting from device."_s});
}

TEST(ConnectErrorTextTest, PrefixesByCodeAndCleansTheMessage) {
    EXPECT_EQ(ConnectErrorText(86, u"Permission denied. "_s), u"Invalid password: Permission denied"_s);
    EXPECT_EQ(ConnectErrorText(67, u"No such file or directory"_s),
              u"Bad network Name: No such file or directory"_s);
    EXPECT_EQ(ConnectErrorText(1222, u"Connection refused"_s), u"No Network: Connection refused"_s);
    EXPECT_EQ(ConnectErrorText(1223, u"x"_s), u"Canceled: x"_s);
    EXPECT_EQ(ConnectErrorText(0, u"Something else.."_s), u"Something else"_s);
    EXPECT_EQ(ConnectErrorCode(ECONNREFUSED), 1222);
    EXPECT_EQ(ConnectErrorCode(ENOENT), 67);
    EXPECT_EQ(ConnectErrorCode(EACCES), 86);
}

TEST_F(StorageConnectionTest, MultipleConnectionsFailureAddsTheIpAddressHint) {
    const QString text =
        u"Multiple connections to a server or shared resource by the same user are not allowed"_s;
    EXPECT_EQ(ReportConnectFailure(job, text), u"ERROR: Read the log for details."_s);
    ASSERT_EQ(job.LastJobResult.Log.size(), 3);
    EXPECT_TRUE(job.LastJobResult.Log[0].endsWith(u"ERROR: "_s + text));
    EXPECT_EQ(job.LastJobResult.Log[1],
              u"***** Try to use the IP address of the remote server (instead of the "
              u"hostname) in the UNC path. For example: \\\\IP_Address\\folder\\"_s);
    EXPECT_EQ(job.LastJobResult.Log[2], QString());
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);

    job.LastJobResult.Log.clear();
    EXPECT_EQ(ReportConnectFailure(job, u"Access denied: x"_s), u"ERROR: Access denied: x"_s);
    EXPECT_EQ(job.LastJobResult.Log.size(), 1);
}

class SmbConnectionTest : public StorageConnectionTest {};

TEST_F(SmbConnectionTest, ConnectsInEveryPathFormAndFindsTheJobFolder) {
    MORVANE_REQUIRE_SAMBA(server);
    QDir().mkpath(server->ShareFolder() + u"/Backups"_s);
    const QString forms[] = {server->UncPath(u"Backups"_s), u"//"_s + server->Host() + u"/share/Backups"_s,
                             u"smb://"_s + server->Host() + u"/share/Backups"_s};
    job.DestinationType = dtNetwork;
    job.Destination_NetworkUsername = server->User();
    job.Destination_NetworkPassword = server->Password();
    for (const QString& form : forms) {
        SCOPED_TRACE(form.toStdString());
        job.LastJobResult.Log.clear();
        job.LastJobResult.ErrorsCount = 0;
        job.DestinationPath = form;
        EXPECT_EQ(job.ConnectToStorage().JobFolder, job.DestinationPath + u"/Docs"_s);
        ASSERT_TRUE(job.NetworkConnection);
        EXPECT_TRUE(job.NetworkConnection->FConnected);
        EXPECT_TRUE(job.NetworkConnection->FOwned);
        EXPECT_EQ(job.NetworkConnection->FRemotePath, form);
        EXPECT_EQ(job.NetworkConnection->FUser, server->User());
        EXPECT_EQ(QString::fromUtf16(job.NetworkConnection->FUNCData.data()), form);
        EXPECT_EQ(job.LastJobResult.ErrorsCount, 0);
        job.DisconnectFromStorage();
        EXPECT_FALSE(job.NetworkConnection);
    }
}

TEST_F(SmbConnectionTest, RefusedConnectionsGiveThePrefixedErrors) {
    MORVANE_REQUIRE_SAMBA(server);
    struct Case {
        QString path;
        QString password;
        QString prefix;
    };
    const Case cases[] = {
        {server->UncPath(), u"wrong"_s, u"Invalid password:"_s},
        {u"\\\\"_s + server->Host() + u"\\nosuchshare"_s, server->Password(), u"Bad network Name:"_s},
        {u"\\\\127.0.0.1:1\\share"_s, server->Password(), u"No Network:"_s},
    };
    job.DestinationType = dtNetwork;
    job.Destination_NetworkUsername = server->User();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix.toStdString());
        job.LastJobResult.Log.clear();
        job.LastJobResult.ErrorsCount = 0;
        job.DestinationPath = c.path;
        job.Destination_NetworkPassword = c.password;
        const TConnectResult connection = job.ConnectToStorage();
        EXPECT_FALSE(connection.Connected);
        const QString& result = connection.Error;
        EXPECT_TRUE(result.startsWith(u"ERROR: "_s + c.prefix + u' ')) << result.toStdString();
        ASSERT_EQ(LogTexts(job).size(), 2);
        EXPECT_EQ(LogTexts(job)[1], result);
        EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
        EXPECT_FALSE(job.NetworkConnection);
    }
}

TEST_F(SmbConnectionTest, ShareWithoutTheFolderKeepsTheConnection) {
    MORVANE_REQUIRE_SAMBA(server);
    job.DestinationType = dtNetwork;
    job.Destination_NetworkUsername = server->User();
    job.Destination_NetworkPassword = server->Password();
    job.DestinationPath = server->UncPath(u"missing"_s);
    const TConnectResult missing = job.ConnectToStorage();
    EXPECT_FALSE(missing.Connected);
    EXPECT_EQ(missing.Error, u"ERROR: The directory does not exist: "_s + job.DestinationPath);
    ASSERT_TRUE(job.NetworkConnection);
    EXPECT_TRUE(job.NetworkConnection->FConnected);
    job.DisconnectFromStorage();
    EXPECT_FALSE(job.NetworkConnection);
}

} // namespace
} // namespace morvane

namespace morvane {
namespace {

TEST_F(SmbConnectionTest, BlankOrEmptyUserNameConnectsWithoutCredentials) {
    MORVANE_REQUIRE_SAMBA(server);
    job.DestinationType = dtNetwork;
    job.DestinationPath = u"\\\\"_s + server->Host() + u"\\"_s + server->PublicShare();
    QDir().mkpath(server->ShareFolder() + u"/../"_s + server->PublicShare());
    for (const QString& user : {QString(), u"   "_s}) {
        job.Destination_NetworkUsername = user;
        job.Destination_NetworkPassword = u"ignored"_s;
        EXPECT_EQ(job.ConnectToStorage().JobFolder, job.DestinationPath + u"/Docs"_s);
        ASSERT_TRUE(job.NetworkConnection);
        EXPECT_EQ(job.NetworkConnection->FUser, user);
        job.DisconnectFromStorage();
    }
    // The private share stays closed to a session without the user's password.
    job.DestinationPath = server->UncPath();
    job.Destination_NetworkUsername.clear();
    const TConnectResult refused = job.ConnectToStorage();
    EXPECT_FALSE(refused.Connected);
    EXPECT_TRUE(refused.Error.startsWith(u"ERROR: "_s));
    EXPECT_FALSE(job.NetworkConnection);
}

} // namespace
} // namespace morvane

namespace morvane {
namespace {

TEST(NetworkPathConnectionTest, RefusesPathsItCannotHandOnWithoutReachingAnyServer) {
    struct Case {
        QString path;
        QString error;
    };
    const Case cases[] = {
        {u"\\\\nas\\share\\"_s + QString(5000, u'x'), u"File name too long"_s},
        {u"/mnt/nas/backups"_s, u"Bad network Name: Invalid argument"_s},
        {u"\\\\nas"_s, u"Bad network Name: Invalid argument"_s},
    };
    for (const Case& c : cases) {
        TNetworkPathConnection connection;
        EXPECT_FALSE(connection.Connect(c.path, u"ann"_s, u"pw"_s));
        EXPECT_EQ(connection.FLastError, c.error);
        EXPECT_TRUE(connection.FFailed);
        EXPECT_FALSE(connection.FConnected);
        EXPECT_TRUE(connection.FURI.isEmpty());
        EXPECT_TRUE(connection.FUser.isEmpty());
        EXPECT_TRUE(std::all_of(connection.FUNCData.begin(), connection.FUNCData.end(),
                                [](char16_t unit) { return unit == 0; }));
    }
}

} // namespace
} // namespace morvane
