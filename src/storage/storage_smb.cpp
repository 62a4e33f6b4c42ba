#include "storage/storage_smb.h"

#include "platform/file_names.h"
#include "platform/local_files.h"
#include "storage/storage_faults.h"

#include <libsmbclient.h>

#include <dlfcn.h>

#include <QStringDecoder>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <sys/time.h>
#include <type_traits>

namespace morvane {

namespace {

constexpr int TimeoutMilliseconds = 20000;
constexpr const char* SmbLibraryName = "libsmbclient.so.0";

[[noreturn]] void ThrowSmbError(int code) {
    throw TStorageError(code, SystemErrorMessage(code));
}

int LastError() {
    return errno != 0 ? errno : EIO;
}

// A name as the share sends it: a U+FEFF that starts it is part of the name, not a byte-order mark.
QString NameFromShare(const QByteArray& bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(bytes);
}

// Splits a path in any of the accepted forms into its parts: server, share, folders and name.

QStringList SmbParts(const QString& path) {
    QString rest = path;
    if (rest.startsWith(QStringLiteral("smb:"), Qt::CaseInsensitive))
        rest = rest.mid(4);
    rest.replace(u'\\', u'/');
    return rest.split(u'/', Qt::SkipEmptyParts);
}

// The client decodes percent escapes and treats '?' as the start of options, so both are escaped. A
// share names its files in Unicode, so a local name whose bytes are not UTF-8 has no name there.
QByteArray EscapePart(const QString& part) {
    if (HasEscapedBytes(part))
        ThrowSmbError(EILSEQ);
    return QUrl::toPercentEncoding(part, "!$&'()*+,;=:@ []{}^`~\"<>|");
}

// The client library keeps process-wide state (its settings, its log, the stack of temporary memory
// frames and the event loop's tracing) that separate contexts share, and two threads calling it at
// once crash it even with a context each. So every call into it is made under this one lock; a copy
// takes it per chunk, so jobs on several shares still take turns.
std::recursive_mutex libraryLock;

using LibraryGuard = std::lock_guard<std::recursive_mutex>;

// The client library is loaded when a job first reaches a share, so the programs start without the
// hundred-odd libraries it brings in, and a computer without it runs every local job.
#define MORVANE_SMB_FUNCTIONS(X)                                                                             \
    X(free_context)                                                                                          \
    X(getFunctionChmod)                                                                                      \
    X(getFunctionClose)                                                                                      \
    X(getFunctionClosedir)                                                                                   \
    X(getFunctionFstat)                                                                                      \
    X(getFunctionMkdir)                                                                                      \
    X(getFunctionOpen)                                                                                       \
    X(getFunctionOpendir)                                                                                    \
    X(getFunctionRead)                                                                                       \
    X(getFunctionReaddir)                                                                                    \
    X(getFunctionRename)                                                                                     \
    X(getFunctionRmdir)                                                                                      \
    X(getFunctionStat)                                                                                       \
    X(getFunctionUnlink)                                                                                     \
    X(getFunctionUtimes)                                                                                     \
    X(getFunctionWrite)                                                                                      \
    X(getOptionUserData)                                                                                     \
    X(init_context)                                                                                          \
    X(new_context)                                                                                           \
    X(setFunctionAuthDataWithContext)                                                                        \
    X(setOptionNoAutoAnonymousLogin)                                                                         \
    X(setOptionUserData)                                                                                     \
    X(setTimeout)

struct TSmbLibrary {
#define MORVANE_SMB_POINTER(name) decltype(&::smbc_##name) name = nullptr;
    MORVANE_SMB_FUNCTIONS(MORVANE_SMB_POINTER)
#undef MORVANE_SMB_POINTER
};

// The loaded library, or nothing when it is not installed.
const TSmbLibrary* LoadSmbLibrary() {
    static const std::optional<TSmbLibrary> library = []() -> std::optional<TSmbLibrary> {
        void* handle = ::dlopen(SmbLibraryName, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return std::nullopt;
        TSmbLibrary functions;
        bool complete = true;
        const auto bind = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(handle, name));
            complete = complete && function;
        };
#define MORVANE_SMB_BIND(name) bind(functions.name, "smbc_" #name);
        MORVANE_SMB_FUNCTIONS(MORVANE_SMB_BIND)
#undef MORVANE_SMB_BIND
        if (!complete)
            return std::nullopt;
        return functions;
    }();
    return library ? &*library : nullptr;
}

// Only reached through a context, which exists only when the library was loaded.
const TSmbLibrary& Smb() {
    return *LoadSmbLibrary();
}

QByteArray JoinUrl(const QStringList& parts) {
    QByteArray url("smb://");
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            url += '/';
        url += i == 0 ? parts[i].toUtf8() : EscapePart(parts[i]);
    }
    return url;
}

} // namespace

struct SmbAuth {
    static void Fill(SMBCCTX* context, const char*, const char*, char*, int, char* user, int userSize,
                     char* password, int passwordSize) {
        const auto* self = static_cast<const TSmbContext*>(Smb().getOptionUserData(context));
        if (!self || self->user_.isEmpty())
            return;
        std::snprintf(user, static_cast<std::size_t>(userSize), "%s", self->user_.constData());
        std::snprintf(password, static_cast<std::size_t>(passwordSize), "%s", self->password_.constData());
    }
};

TSmbContext::TSmbContext(const QString& user, const QString& password)
    : user_(user.toUtf8()), password_(password.toUtf8()) {
    const LibraryGuard lock(libraryLock);
    if (!LoadSmbLibrary()) {
        initError_ = ELIBACC;
        return;
    }
    context_ = Smb().new_context();
    if (!context_) {
        initError_ = LastError();
        return;
    }
    Smb().setOptionUserData(context_, this);
    Smb().setFunctionAuthDataWithContext(context_, &SmbAuth::Fill);
    Smb().setTimeout(context_, TimeoutMilliseconds);
    // A wrong password must fail rather than quietly become a guest session.
    Smb().setOptionNoAutoAnonymousLogin(context_, !user_.isEmpty());
    if (!Smb().init_context(context_)) {
        initError_ = LastError();
        Smb().free_context(context_, 1);
        context_ = nullptr;
    }
}

TSmbContext::~TSmbContext() {
    Release(true);
}

int TSmbContext::Release(bool force) {
    if (!context_)
        return 0;
    const LibraryGuard lock(libraryLock);
    if (Smb().free_context(context_, force ? 1 : 0) != 0)
        return LastError();
    context_ = nullptr;
    return 0;
}

QByteArray SmbUrl(const QString& path) {
    return JoinUrl(SmbParts(path));
}

QByteArray SmbShareUrl(const QString& path) {
    const QStringList parts = SmbParts(path);
    return parts.size() < 2 ? QByteArray() : JoinUrl(parts.mid(0, 2));
}

int SmbCheckShare(TSmbContext& context, const QString& path) {
    const QByteArray share = SmbShareUrl(path);
    if (share.isEmpty())
        return EINVAL;
    const LibraryGuard lock(libraryLock);
    SMBCCTX* ctx = context.Get();
    errno = 0;
    SMBCFILE* dir = Smb().getFunctionOpendir(ctx)(ctx, share.constData());
    if (!dir)
        return LastError();
    Smb().getFunctionClosedir(ctx)(ctx, dir);
    return 0;
}

namespace {

class SmbFile final : public TStorageFile {
public:
    SmbFile(SMBCCTX* context, QByteArray url, SMBCFILE* file, bool writing)
        : context_(context), url_(std::move(url)), file_(file), writing_(writing) {
        // A file opened for writing was just created or emptied: asking the server adds nothing.
        if (writing_)
            return;
        const LibraryGuard lock(libraryLock);
        struct stat info {};
        if (Smb().getFunctionFstat(context_)(context_, file_, &info) == 0) {
            // The client shows the read-only attribute as missing write bits.
            entry_ = {true, S_ISDIR(info.st_mode), (info.st_mode & S_IWUSR) == 0,
                      static_cast<int64_t>(info.st_size)};
            lastWrite_ = info.st_mtime;
        }
    }
    ~SmbFile() override { Close(); }

    int64_t Read(char* buffer, int64_t size) override {
        const LibraryGuard lock(libraryLock);
        errno = 0;
        const ssize_t got =
            Smb().getFunctionRead(context_)(context_, file_, buffer, static_cast<size_t>(size));
        return got >= 0 ? got : -LastError();
    }
    int Write(const char* buffer, int64_t size) override {
        const LibraryGuard lock(libraryLock);
        while (size > 0) {
            errno = 0;
            const ssize_t written =
                Smb().getFunctionWrite(context_)(context_, file_, buffer, static_cast<size_t>(size));
            if (written <= 0)
                return LastError();
            buffer += written;
            size -= written;
        }
        return 0;
    }
    int Finish(int64_t lastWriteTime) override {
        const LibraryGuard lock(libraryLock);
        const int error = Close();
        if (error == 0 && writing_) {
            struct timeval times[2] = {{static_cast<time_t>(lastWriteTime), 0},
                                       {static_cast<time_t>(lastWriteTime), 0}};
            Smb().getFunctionUtimes(context_)(context_, url_.constData(), times);
            if (readOnly_)
                Smb().getFunctionChmod(context_)(context_, url_.constData(), 0444);
        }
        return error;
    }
    int64_t Size() const override { return entry_.Size; }
    int64_t LastWriteTime() const override { return lastWrite_; }
    TStorageEntry Entry() const override { return entry_; }
    void MarkReadOnly(bool readOnly) { readOnly_ = readOnly; }

private:
    int Close() {
        const LibraryGuard lock(libraryLock);
        if (!file_)
            return 0;
        errno = 0;
        const int rc = Smb().getFunctionClose(context_)(context_, file_);
        file_ = nullptr;
        return rc == 0 ? 0 : LastError();
    }

    SMBCCTX* context_;
    QByteArray url_;
    SMBCFILE* file_;
    bool writing_;
    bool readOnly_ = false;
    TStorageEntry entry_{true, false, false, 0};
    int64_t lastWrite_ = 0;
};

class SmbFileSystem final : public TStorageFileSystem {
public:
    explicit SmbFileSystem(TSmbContext& context) : ctx_(context.Get()) {}

    TStorageEntry Stat(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        struct stat info {};
        errno = 0;
        if (Smb().getFunctionStat(ctx_)(ctx_, SmbUrl(path).constData(), &info) != 0) {
            const int error = LastError();
            if (error == ENOENT || error == ENOTDIR)
                return {};
            ThrowSmbError(error);
        }
        // The client shows the read-only attribute as missing write bits.
        return {true, S_ISDIR(info.st_mode), (info.st_mode & S_IWUSR) == 0,
                static_cast<int64_t>(info.st_size)};
    }
    void SetAttributesNone(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        // Mode bits without execute bits map to no archive, system or hidden attribute.
        Check(Smb().getFunctionChmod(ctx_)(ctx_, SmbUrl(path).constData(), 0666));
    }
    void DeleteFile(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        Check(Smb().getFunctionUnlink(ctx_)(ctx_, SmbUrl(path).constData()));
    }
    bool RemoveEmptyDirectory(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        const QByteArray url = SmbUrl(path);
        Smb().getFunctionChmod(ctx_)(ctx_, url.constData(), 0777);
        return Smb().getFunctionRmdir(ctx_)(ctx_, url.constData()) == 0;
    }
    bool RemoveTree(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        const TStorageEntry entry = StatQuietly(path);
        if (!entry.Exists)
            return true;
        return RemoveUrl(SmbUrl(path), entry.IsDirectory);
    }
    void CreateDirectories(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        const QStringList parts = SmbParts(path);
        if (parts.size() < 2 || SmbCheckShareOf(parts) != 0)
            throw TStorageError(ENODEV, QStringLiteral("The drive cannot be found"));
        // Other refusals are not reported here: the next copy into the folder reports them.
        for (qsizetype depth = 3; depth <= parts.size() && !HasEscapedBytes(parts[depth - 1]); ++depth)
            Smb().getFunctionMkdir(ctx_)(ctx_, JoinUrl(parts.mid(0, depth)).constData(), 0777);
    }
    void Rename(const QString& from, const QString& to) override {
        const LibraryGuard lock(libraryLock);
        // The client replaces an existing file at the new path; a move must never do that.
        if (Stat(to).Exists)
            ThrowSmbError(EEXIST);
        Check(Smb().getFunctionRename(ctx_)(ctx_, SmbUrl(from).constData(), ctx_, SmbUrl(to).constData()));
    }
    void ReplaceFile(const QString& from, const QString& to) override {
        const LibraryGuard lock(libraryLock);
        const QByteArray target = SmbUrl(to);
        // The server refuses to replace a read-only file; the caller meant to replace it anyway.
        if (Stat(to).Exists) {
            Smb().getFunctionChmod(ctx_)(ctx_, target.constData(), 0666);
            Check(Smb().getFunctionUnlink(ctx_)(ctx_, target.constData()));
        }
        Check(Smb().getFunctionRename(ctx_)(ctx_, SmbUrl(from).constData(), ctx_, target.constData()));
    }
    std::unique_ptr<TStorageFile> OpenForReading(const QString& path) override {
        return Open(path, O_RDONLY, false);
    }
    std::unique_ptr<TStorageFile> OpenForWriting(const QString& path, bool sourceReadOnly,
                                                 bool onlyNew) override {
        auto file = Open(path, O_WRONLY | O_CREAT | (onlyNew ? O_EXCL : O_TRUNC), true);
        static_cast<SmbFile&>(*file).MarkReadOnly(sourceReadOnly);
        return file;
    }
    QList<TStorageListEntry> List(const QString& path) override {
        const LibraryGuard lock(libraryLock);
        errno = 0;
        SMBCFILE* dir = Smb().getFunctionOpendir(ctx_)(ctx_, SmbUrl(path).constData());
        if (!dir)
            ThrowSmbError(LastError());
        QList<TStorageListEntry> entries;
        while (const smbc_dirent* entry = Smb().getFunctionReaddir(ctx_)(ctx_, dir)) {
            const QByteArray name(entry->name);
            if (name != "." && name != ".." &&
                (entry->smbc_type == SMBC_DIR || entry->smbc_type == SMBC_FILE))
                entries.append({NameFromShare(name), entry->smbc_type == SMBC_DIR});
        }
        Smb().getFunctionClosedir(ctx_)(ctx_, dir);
        return entries;
    }
    // The client library offers no call that asks the server to write its cache out; every write has
    // reached the server when its call returned, and what the server keeps in memory is beyond reach.
    void Flush(const QString&) override {}
    bool IsLocal() const override { return false; }

private:
    static void Check(int rc) {
        if (rc != 0)
            ThrowSmbError(LastError());
    }

    std::unique_ptr<TStorageFile> Open(const QString& path, int flags, bool writing) {
        const LibraryGuard lock(libraryLock);
        const QByteArray url = SmbUrl(path);
        errno = 0;
        SMBCFILE* file = Smb().getFunctionOpen(ctx_)(ctx_, url.constData(), flags, 0666);
        if (!file) {
            const int error = LastError();
            throw TStorageError(error, CopyErrorText(error));
        }
        return std::make_unique<SmbFile>(ctx_, url, file, writing);
    }

    TStorageEntry StatQuietly(const QString& path) {
        try {
            return Stat(path);
        } catch (const TStorageError&) {
            return {};
        }
    }

    int SmbCheckShareOf(const QStringList& parts) {
        SMBCFILE* dir = Smb().getFunctionOpendir(ctx_)(ctx_, JoinUrl(parts.mid(0, 2)).constData());
        if (!dir)
            return LastError();
        Smb().getFunctionClosedir(ctx_)(ctx_, dir);
        return 0;
    }

    // Deletes an entry and, for a folder, everything below it, deepest first; errors are skipped so
    // as much as possible goes. True when the entry is gone.
    bool RemoveUrl(const QByteArray& url, bool isDirectory) {
        Smb().getFunctionChmod(ctx_)(ctx_, url.constData(), isDirectory ? 0777 : 0666);
        if (!isDirectory)
            return Smb().getFunctionUnlink(ctx_)(ctx_, url.constData()) == 0;
        QList<QPair<QByteArray, bool>> children;
        if (SMBCFILE* dir = Smb().getFunctionOpendir(ctx_)(ctx_, url.constData())) {
            while (const smbc_dirent* entry = Smb().getFunctionReaddir(ctx_)(ctx_, dir)) {
                const QByteArray name(entry->name);
                if (name == "." || name == "..")
                    continue;
                if (entry->smbc_type == SMBC_DIR || entry->smbc_type == SMBC_FILE)
                    children.append(
                        {url + '/' + EscapePart(NameFromShare(name)), entry->smbc_type == SMBC_DIR});
            }
            Smb().getFunctionClosedir(ctx_)(ctx_, dir);
        }
        for (const auto& [child, childIsDirectory] : children)
            RemoveUrl(child, childIsDirectory);
        return Smb().getFunctionRmdir(ctx_)(ctx_, url.constData()) == 0;
    }

    SMBCCTX* ctx_;
};

} // namespace

QString SmbContextErrorText(int error) {
    if (error == ELIBACC)
        return QStringLiteral("The SMB client library (%1) is not installed")
            .arg(QLatin1String(SmbLibraryName));
    return SystemErrorMessage(error);
}

std::unique_ptr<TStorageFileSystem> MakeSmbFileSystem(TSmbContext& context) {
    return WithStorageFaults(std::make_unique<SmbFileSystem>(context));
}

} // namespace morvane
