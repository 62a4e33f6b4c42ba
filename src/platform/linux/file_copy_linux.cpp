#include "platform/file_copy.h"

#include "platform/local_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace morvane {

namespace {

constexpr int64_t ChunkBytes = 16 << 20;
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

// The kernel's own copy; returns ENOSYS-like errors untouched so the caller can fall back.
int CopyWithKernel(int in, int out, CopyState& state) {
    while (true) {
        if (state.Cancelled())
            return ECANCELED;
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, ChunkBytes, 0);
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

// Reads and writes through an aligned buffer, as unbuffered descriptors require. A short final block
// is written after dropping O_DIRECT from the target, which accepts only whole blocks.
int CopyWithBuffer(int in, int out, CopyState& state) {
    void* raw = nullptr;
    if (::posix_memalign(&raw, DirectAlignment, ChunkBytes) != 0)
        return ENOMEM;
    const std::unique_ptr<char, decltype(&std::free)> buffer(static_cast<char*>(raw), &std::free);
    while (true) {
        if (state.Cancelled())
            return ECANCELED;
        const ssize_t got = ::read(in, buffer.get(), ChunkBytes);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (got == 0)
            return 0;
        if (got % DirectAlignment != 0)
            ::fcntl(out, F_SETFL, ::fcntl(out, F_GETFL) & ~O_DIRECT);
        if (const int error = WriteAll(out, buffer.get(), static_cast<std::size_t>(got)))
            return error;
        state.Advance(got);
    }
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
    const int error = CopyWithKernel(in, out, state);
    if (error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP) {
        // The kernel refused before copying anything from here on; carry on from the current offsets.
        return CopyWithBuffer(in, out, state);
    }
    return error;
}

int KeepTimeAndMode(int out, const struct stat& info) {
    const timespec times[2] = {info.st_atim, info.st_mtim};
    if (::futimens(out, times) != 0)
        return errno;
    return ::fchmod(out, info.st_mode & 07777) == 0 ? 0 : errno;
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
    CopyProgressRoutine(info.st_size, 0, settings.Progress);
    // The content goes to a new file beside the target, which replaces the target only when complete:
    // a failed or cancelled copy leaves the previous version of the target as it was.
    const QString partial = PartialFilePath(target);
    const int outFd = LocalOpenForWriting(partial, (info.st_mode & 0777) | S_IWUSR, true);
    if (outFd < 0)
        return -outFd;
    FileDescriptor out(outFd);
    CopyState state{settings, info.st_size};
    int error = CopyContent(in.get(), out.get(), state);
    if (error == 0)
        error = KeepTimeAndMode(out.get(), info);
    const int closeError = out.Close();
    if (error == 0)
        error = closeError;
    if (error == 0)
        error = LocalReplaceFile(partial, target);
    if (error != 0)
        LocalDeleteFile(partial);
    return error;
}

bool IsSharingViolation(int error) {
    return error == EBUSY || error == ETXTBSY || error == EAGAIN;
}

} // namespace morvane
