#include "storage/storage_connection.h"

#include "formats/events_log.h"
#include "i18n/translation.h"
#include "jobs/job.h"
#include "jobs/run_log.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "storage/storage_fs.h"
#include "storage/storage_smb.h"

#include <QThread>

#include <cerrno>

namespace morvane {

namespace {

constexpr int DisconnectAttempts = 100;
constexpr int DisconnectPauseMs = 100;

struct PrefixOfCode {
    int code;
    const char* prefix;
};

constexpr PrefixOfCode ConnectPrefixes[] = {
    {5, "Access denied:"},
    {66, "Bad device type:"},
    {67, "Bad network Name:"},
    {85, "Already assigned:"},
    {86, "Invalid password:"},
    {170, "Busy:"},
    {1200, "Bad device:"},
    {1202, "Device already remembered:"},
    {1203, "No Net or bad path:"},
    {1204, "Bad provider:"},
    {1205, "Cannot open profile:"},
    {1206, "Bad profile:"},
    {1208, "Extended error:"},
    {1222, "No Network:"},
    {1223, "Canceled:"},
};

// The system's message without trailing blanks and points.
QString PlainMessage(const QString& message) {
    QString text = message;
    while (!text.isEmpty() && (text.back() == u'.' || text.back().isSpace()))
        text.chop(1);
    return text;
}

bool DirectoryExistsOnStorage(const TJob& job, const QString& path) {
    try {
        if (IsNetworkPath(path)) {
            if (!job.NetworkConnection || !job.NetworkConnection->Context())
                return false;
            return MakeSmbFileSystem(*job.NetworkConnection->Context())->Stat(path).IsDirectory;
        }
        return MakeLocalFileSystem()->Stat(path).IsDirectory;
    } catch (const TStorageError&) {
        return false;
    }
}

// Steps 2.2 and 2.3 of both destination kinds: the job folder, or the missing-folder error.
TConnectResult JobFolderOrError(TJob& job) {
    if (DirectoryExistsOnStorage(job, job.DestinationPath))
        return TConnectResult::To(JoinPath(job.DestinationPath, job.stJobName));
    const QString missing = job.TranslateText(QStringLiteral("The directory does not exist:"));
    AddErrorToRunLog(job, missing + u' ' + job.DestinationPath);
    return TConnectResult::Failed(job.TranslateText(QStringLiteral("ERROR:")) + u' ' + missing + u' ' +
                                  job.DestinationPath);
}

void DeleteNetworkConnection(TNetworkPathConnection* connection) {
    delete connection;
}

void EndBackupWithoutConnection(TJob& job, TDateTime runStart, const QString& connectionError) {
    AddToRunLog(job, QStringLiteral("Backup is cancelled."));
    job.AddEventtoBackupHistory(
        job.TranslateText(QStringLiteral("Backup is cancelled.")) + u' ' + connectionError, false);
    AddToEventsLog(
        FormatText(job.TranslateText(QStringLiteral("\"%s\" backup is cancelled:")), {job.stJobName}) + u' ' +
        connectionError);
    job.LastJobResult.Cancelled = true;
    SaveRunLog(job, runStart);
}

} // namespace

QString ConnectErrorText(int windowsCode, const QString& message) {
    QString text = PlainMessage(message);
    for (const PrefixOfCode& entry : ConnectPrefixes) {
        if (entry.code == windowsCode)
            text = QString::fromLatin1(entry.prefix) + u' ' + text;
    }
    return text.trimmed();
}

int ConnectErrorCode(int error) {
    switch (error) {
    case EACCES:
        return 86; // the server refused the user name and password
    case EPERM:
        return 5;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EINVAL:
        return 67;
    case ECONNREFUSED:
    case ECONNRESET:
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETUNREACH:
    case ENETDOWN:
    case ETIMEDOUT:
        return 1222;
    case EBUSY:
        return 170;
    default:
        return 0;
    }
}

TNetworkPathConnection::TNetworkPathConnection() = default;

TNetworkPathConnection::~TNetworkPathConnection() {
    if (FConnected)
        Disconnect(true);
}

void TNetworkPathConnection::ClearRemoteName() {
    FUNCData.fill(0);
}

bool TNetworkPathConnection::Connect(const QString& aNetworkPath, const QString& aUsername,
                                     const QString& aPassword) {
    FFailed = false;
    FLastError.clear();
    const QString path = aNetworkPath.trimmed();
    if (FConnected)
        Disconnect(true);
    FURI = path;
    ClearRemoteName();
    int error = 0;
    if (path.size() >= static_cast<qsizetype>(FUNCData.size())) {
        error = ENAMETOOLONG; // refused rather than cut, so no other share is reached
    } else {
        std::copy(path.utf16(), path.utf16() + path.size(), FUNCData.begin());
        // Blank user names count as none; a given name and password are passed as they are.
        auto context =
            std::make_unique<TSmbContext>(aUsername.trimmed().isEmpty() ? QString() : aUsername, aPassword);
        error = context->InitError();
        if (error == 0)
            error = IsNetworkPath(path) ? SmbCheckShare(*context, path) : EINVAL;
        if (error == 0)
            context_ = std::move(context);
    }
    if (error != 0) {
        ClearRemoteName();
        FURI.clear();
        FLastError = ConnectErrorText(ConnectErrorCode(error), SmbContextErrorText(error));
        FFailed = !FLastError.isEmpty();
        return false;
    }
    FOwned = true;
    FConnected = true;
    FUser = aUsername;
    FPassword = aPassword;
    FRemotePath = path;
    return true;
}

void TNetworkPathConnection::Disconnect(bool aForce) {
    if (!FConnected || !FOwned)
        return;
    if (context_) {
        int attempts = 1;
        while (context_->Release(aForce) == EBUSY && attempts < DisconnectAttempts) {
            QThread::msleep(DisconnectPauseMs);
            ++attempts;
        }
        // Files still open after the retries are closed with the context, which is never leaked.
        context_.reset();
    }
    FConnected = false;
    FOwned = false;
    FRemotePath.clear();
    FUser.clear();
    FPassword.clear();
    FURI.clear();
}

QString ReportConnectFailure(TJob& job, const QString& lastError) {
    AddErrorToRunLog(job, lastError);
    const QString error = job.TranslateText(QStringLiteral("ERROR:"));
    if (!lastError.contains(QStringLiteral("Multiple connections to")))
        return error + u' ' + lastError;
    // clang-format off
    const QString hint = job.TranslateText(QStringLiteral("Try to use the IP address of the remote server (instead of the hostname) in the UNC path. For example: \\\\IP_Address\\folder\\"));
    // clang-format on
    job.LastJobResult.Log.append(QStringLiteral("***** ") + hint);
    job.LastJobResult.Log.append(QString());
    return error + u' ' + job.TranslateText(QStringLiteral("Read the log for details."));
}

TConnectResult TJob::ConnectToStorage() {
    CurrentFileOperationType = atNone;
    CurrentFileOperationPath.Set(QStringView());
    switch (DestinationType) {
    case dtExternalDevice:
        AddToRunLog(*this, QStringLiteral("Connecting to the external drive. Directory:"), DestinationPath);
        return JobFolderOrError(*this);
    case dtNetwork: {
        AddToRunLog(*this, QStringLiteral("Connecting to the network. Directory:"), DestinationPath);
        NetworkConnection =
            decltype(NetworkConnection)(new TNetworkPathConnection, {&DeleteNetworkConnection});
        if (NetworkConnection->Connect(DestinationPath, Destination_NetworkUsername,
                                       Destination_NetworkPassword))
            return JobFolderOrError(*this);
        const QString error = ReportConnectFailure(*this, NetworkConnection->FLastError);
        NetworkConnection.reset();
        return TConnectResult::Failed(error);
    }
    }
    return TConnectResult::To(stJobName);
}

void TJob::DisconnectFromStorage() {
    AddToRunLog(*this, QStringLiteral("Disconnecting from device."));
    if (DestinationType != dtNetwork)
        return;
    try {
        if (NetworkConnection && NetworkConnection->FConnected)
            NetworkConnection->Disconnect(false);
    } catch (const std::exception& error) {
        AddErrorToRunLog(*this, QString::fromUtf8(error.what()).remove(QStringLiteral("\r\n")));
    }
    NetworkConnection.reset();
}

QString OpenBackupRun(TJob& job, TDateTime runStart) {
    job.AddEventtoBackupHistory(job.TranslateText(QStringLiteral("Starting the backup.")), false);
    const TConnectResult connection = job.ConnectToStorage();
    PrepareLogFolder(job, false);
    if (connection.Connected && !connection.JobFolder.isEmpty())
        return connection.JobFolder;
    EndBackupWithoutConnection(job, runStart, connection.Error);
    return QString();
}

} // namespace morvane
