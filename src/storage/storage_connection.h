#pragma once

#include "platform/date_time.h"

#include <QString>

#include <array>
#include <memory>

namespace morvane {

class TJob;
class TSmbContext;

// A connection to a network share made for one job, closed when the job is done with its storage.
class TNetworkPathConnection {
public:
    TNetworkPathConnection();
    virtual ~TNetworkPathConnection();
    TNetworkPathConnection(const TNetworkPathConnection&) = delete;
    TNetworkPathConnection& operator=(const TNetworkPathConnection&) = delete;

    // An empty (or blank) user name connects without credentials of our own.
    bool Connect(const QString& aNetworkPath, const QString& aUsername, const QString& aPassword);
    void Disconnect(bool aForce);
    // The SMB context of the open connection, nullptr when not connected.
    TSmbContext* Context() const { return context_.get(); }

    QString FRemotePath;
    QString FUser;
    QString FPassword;
    bool FConnected = false;
    bool FOwned = false;
    QString FLastError;
    bool FFailed = false;
    std::array<char16_t, 4097> FUNCData{};
    QString FURI;

private:
    void ClearRemoteName();

    std::unique_ptr<TSmbContext> context_;
};

// The connect error text for a system code: the code's prefix ("Access denied:", "Bad network Name:",
// ...), one space and the message, trimmed; the message alone for codes without a prefix.
QString ConnectErrorText(int windowsCode, const QString& message);
// The code a failed SMB connection stands for, from its errno value.
int ConnectErrorCode(int error);

// Writes a failed connection into the run log and returns the text for the caller (the hint for
// several connections under different user names included).
QString ReportConnectFailure(TJob& job, const QString& lastError);

// Opens a backup run that started at `runStart`: the history's start line, the connection to the
// storage and the log folder. Returns the job's folder on the storage. When the storage cannot be
// reached the run is ended there (the cancellation in the run log, the history and the events log with
// the connection's error text, then the closing sequence) and the result is empty.
QString OpenBackupRun(TJob& job, TDateTime runStart);

} // namespace morvane
