#pragma once

#include "storage/storage_fs.h"

#include <QByteArray>
#include <QString>

#include <memory>

struct _SMBCCTX;

namespace morvane {

// One SMB client context with its credentials. A context is used by one thread at a time: each job
// has its own, held by its network connection.
class TSmbContext {
public:
    // An empty user name leaves the client's defaults, which may fall back to a guest session.
    TSmbContext(const QString& user, const QString& password);
    ~TSmbContext();
    TSmbContext(const TSmbContext&) = delete;
    TSmbContext& operator=(const TSmbContext&) = delete;

    // 0 when the context was created; otherwise the errno of the failure (ELIBACC: no client library).
    int InitError() const { return initError_; }
    _SMBCCTX* Get() const { return context_; }
    // Releases the context; without force it refuses with EBUSY while files are open. 0 when released.
    int Release(bool force);

private:
    friend struct SmbAuth;
    _SMBCCTX* context_ = nullptr;
    int initError_ = 0;
    QByteArray user_;
    QByteArray password_;
};

// The client's URL (smb://server[:port]/share/path) for \\server\share\path, //server/share/path or
// smb://server/share/path; backslashes and slashes may be mixed, as joined paths produce.
QByteArray SmbUrl(const QString& path);
// The URL of the share alone (smb://server[:port]/share); empty when the path names no share.
QByteArray SmbShareUrl(const QString& path);

// Tries to open the share of `path`; 0 or the errno of the failure.
int SmbCheckShare(TSmbContext& context, const QString& path);

std::unique_ptr<TStorageFileSystem> MakeSmbFileSystem(TSmbContext& context);

// The text of a context's InitError(); ELIBACC says that the client library could not be loaded.
QString SmbContextErrorText(int error);

} // namespace morvane
