#include "platform/file_copy.h"

#include "platform/local_files.h"

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace morvane {

namespace {

constexpr int64_t ChunkBytes = 16 << 20;
constexpr std::size_t BufferBytes = 4 << 20;
constexpr std::size_t DirectAlignment = 4096;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int fd_;
};

struct CopyState {
    const TCopyFileSettings& settings;
    int64_t total;
    int64_t done = 0;

    bool Cancelled() const {
        return settings.CancelFlag && settings.CancelFlag->load(std::memory_order_relaxed);
    }
    void Advance(int64_t bytes) {
        done += bytes;
        CopyProgressRoutine(total, done, settings.Progress);
    }
};

// Copies chunk by chunk with a kernel call (`copyChunk` returns bytes copied, 0 at the end, or -1);
// its refusals are returned untouched so the caller can fall back to the next way.
template <typename CopyChunk> int CopyInKernel(CopyState& state, CopyChunk copyChunk) {
    while (true) {
        if (state.Cancelled())
            return ECANCELED;
        const ssize_t copied = copyChunk();
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (copied == 0)
            return 0;
        state.Advance(copied);
    }
}

int WriteAll(int out, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(out, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return 0;
}

// One aligned buffer per thread, kept for the thread's life: allocating it for each copy would cost
// more than copying a small file.
char* ThreadCopyBuffer() {
    struct Buffer {
        void* data = nullptr;
        ~Buffer() { std::free(data); }
    };
    thread_local Buffer buffer;
    if (!buffer.data && ::posix_memalign(&buffer.data, DirectAlignment, BufferBytes) != 0)
        buffer.data = nullptr;
    return static_cast<char*>(buffer.data);
}

// Reads and writes through an aligned buffer, as unbuffered descriptors require. A short final block
// is written after dropping O_DIRECT from the target, which accepts only whole blocks.
int CopyWithBuffer(int in, int out, CopyState& state) {
    char* buffer = ThreadCopyBuffer();
    if (!buffer)
        return ENOMEM;
    while (true) {
        if (state.Cancelled())
            return ECANCELED;
        const ssize_t got = ::read(in, buffer, BufferBytes);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        if (got % DirectAlignment != 0)
            ::fcntl(out, F_SETFL, ::fcntl(out, F_GETFL) & ~O_DIRECT);
        if (const int error = WriteAll(out, buffer, static_cast<std::size_t>(got)))
            return error;
        state.Advance(got);
    }
}

bool KernelRefused(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP;
}

// Turns on O_DIRECT where the file system allows it; otherwise the descriptor stays buffered.
void TryDirect(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_DIRECT);
}

int CopyContent(int in, int out, CopyState& state) {
    if (state.settings.NoBuffering) {
        TryDirect(in);
        TryDirect(out);
        return CopyWithBuffer(in, out, state);
    }
    // Each way that the kernel refuses has copied nothing from the current offsets on; the next one
    // carries on from there. copy_file_range works within one file system (with reflinks where it
    // can), sendfile between any two, page cache to page cache.
    int error =
        CopyInKernel(state, [&] { return ::copy_file_range(in, nullptr, out, nullptr, ChunkBytes, 0); });
    if (KernelRefused(error))
        error = CopyInKernel(state, [&] { return ::sendfile(out, in, nullptr, ChunkBytes); });
    if (KernelRefused(error))
        error = CopyWithBuffer(in, out, state);
    return error;
}

int KeepTimeAndMode(int out, const struct stat& info) {
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(out, times) != 0)
        return errno;
    return ::fchmod(out, info.st_mode & 07777) == 0 ? 0 : errno;
}

// Copies the content and then the time and mode onto `out`.
int CopyInto(int in, int out, const struct stat& info, const TCopyFileSettings& settings) {
    CopyState state{settings, info.st_size};
    const int error = CopyContent(in, out, state);
    return error != 0 ? error : KeepTimeAndMode(out, info);
}

int CloseAfter(int error, FileDescriptor& out) {
    const int closeError = out.Close();
    return error != 0 ? error : closeError;
}

unsigned WritableMode(const struct stat& info) {
    return (info.st_mode & 0777) | S_IWUSR;
}

// Copies into the target opened as `fd`, removing the target again when the copy fails.
int CopyOntoTarget(int in, int fd, const struct stat& info, const QString& target,
                   const TCopyFileSettings& settings) {
    if (fd < 0)
        return -fd;
    FileDescriptor out(fd);
    const int error = CloseAfter(CopyInto(in, out.get(), info, settings), out);
    if (error != 0)
        LocalDeleteFile(target);
    return error;
}

int CopyInPlace(int in, const struct stat& info, const QString& target, const TCopyFileSettings& settings) {
    int fd = LocalOpenForWriting(target, WritableMode(info));
    if (fd == -EACCES && LocalDeleteFile(target) == 0)
        fd = LocalOpenForWriting(target, WritableMode(info), true); // a read-only leftover is replaced
    return CopyOntoTarget(in, fd, info, target, settings);
}

int CopyToNewTarget(int in, const struct stat& info, const QString& target,
                    const TCopyFileSettings& settings) {
    const int fd = LocalOpenForWriting(target, WritableMode(info), true);
    return fd == -EEXIST ? EEXIST : CopyOntoTarget(in, fd, info, target, settings);
}

// Moves a complete file from its passing name onto the target; the passing name goes when that fails.
int ReplaceWithPartial(const QString& partial, const QString& target) {
    const int error = LocalReplaceFile(partial, target);
    if (error != 0)
        LocalDeleteFile(partial);
    return error;
}

// Writes a new file beside the target under a passing name and renames it onto the target once
// complete.
int CopyBesideTarget(int in, const struct stat& info, const QString& target,
                     const TCopyFileSettings& settings) {
    const QString partial = PartialFilePath(target);
    const int fd = LocalOpenForWriting(partial, WritableMode(info), true);
    const int error = CopyOntoTarget(in, fd, info, partial, settings);
    return error != 0 ? error : ReplaceWithPartial(partial, target);
}

bool CanLinkByDescriptor() {
    static const bool available = ::access("/proc/self/fd", F_OK) == 0;
    return available;
}

// CopyUnnamed's answer when the file system offers no unnamed files or cannot link them.
constexpr int UnnamedUnavailable = -1;

// Names a complete unnamed file as the target, replacing an existing target in one step.
int LinkAsTarget(int fd, const QString& target) {
    const int error = LocalLinkUnnamed(fd, target);
    if (error != EEXIST)
        return error;
    const QString partial = PartialFilePath(target);
    if (const int linkError = LocalLinkUnnamed(fd, partial))
        return linkError;
    return ReplaceWithPartial(partial, target);
}

// Writes into a file without a name in the target's folder and names it once complete: the target
// never shows a partial copy, even after a crash, and nothing is left to clean up on failure.
int CopyUnnamed(int in, const struct stat& info, const QString& target, const TCopyFileSettings& settings) {
    if (!CanLinkByDescriptor())
        return UnnamedUnavailable;
    const int fd = LocalOpenUnnamedBeside(target, WritableMode(info));
    if (fd == -EOPNOTSUPP || fd == -EISDIR || fd == -EINVAL)
        return UnnamedUnavailable;
    if (fd < 0)
        return -fd;
    FileDescriptor out(fd);
    int error = CopyInto(in, out.get(), info, settings);
    if (error == 0) {
        error = LinkAsTarget(out.get(), target);
        if (error == EPERM || error == EOPNOTSUPP || error == EMLINK)
            return UnnamedUnavailable;
    }
    return CloseAfter(error, out);
}

} // namespace

void CopyProgressRoutine(int64_t totalSize, int64_t transferred, std::atomic<int32_t>* percent) {
    if (!percent)
        return;
    const double exact =
        totalSize > 0 ? static_cast<double>(transferred) * 100.0 / static_cast<double>(totalSize) : 0;
    percent->store(static_cast<int32_t>(std::nearbyint(exact)), std::memory_order_relaxed);
}

int CopyLocalFile(const QString& source, const QString& target, const TCopyFileSettings& settings) {
    const int inFd = LocalOpenForReading(source);
    if (inFd < 0)
        return -inFd;
    FileDescriptor in(inFd);
    struct stat info {};
    if (::fstat(in.get(), &info) != 0)
        return errno;
    if (S_ISDIR(info.st_mode))
        return EISDIR;
    // Pipes, sockets and devices are never copied: reading them could block or never end.
    if (!S_ISREG(info.st_mode))
        return EINVAL;
    if (settings.SourceSize)
        *settings.SourceSize = info.st_size;
    CopyProgressRoutine(info.st_size, 0, settings.Progress);
    if (settings.TargetWrite == TTargetWrite::InPlace)
        return CopyInPlace(in.get(), info, target, settings);
    if (settings.TargetWrite == TTargetWrite::NewOnly)
        return CopyToNewTarget(in.get(), info, target, settings);
    const int error = CopyUnnamed(in.get(), info, target, settings);
    if (error != UnnamedUnavailable)
        return error;
    if (::lseek(in.get(), 0, SEEK_SET) != 0)
        return errno;
    return CopyBesideTarget(in.get(), info, target, settings);
}

bool IsSharingViolation(int error) {
    return error == EBUSY || error == ETXTBSY || error == EAGAIN;
}

} // namespace morvane
