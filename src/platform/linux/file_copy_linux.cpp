#include "platform/file_copy.h"

#include "platform/linux/file_descriptor.h"
#include "platform/local_files.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace morvane {

namespace {

constexpr int64_t ChunkBytes = 16 << 20;
constexpr std::size_t BufferBytes = 4 << 20;
constexpr std::size_t DirectAlignment = 4096;

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

// How many bytes are left to copy from the current offsets: a count, or everything up to the end.
struct Remaining {
    int64_t bytes = -1; // -1: up to the end of the source

    bool Done() const { return bytes == 0; }
    std::size_t Next(std::size_t chunk) const {
        return bytes < 0 ? chunk : static_cast<std::size_t>(std::min<int64_t>(bytes, int64_t(chunk)));
    }
    void Take(int64_t copied) {
        if (bytes >= 0)
            bytes -= copied;
    }
};

// Copies chunk by chunk with a kernel call (`copyChunk(size)` returns bytes copied, 0 at the end, or
// -1); its refusals are returned untouched so the caller can fall back to the next way.
template <typename CopyChunk> int CopyInKernel(CopyState& state, Remaining& left, CopyChunk copyChunk) {
    while (!left.Done()) {
        if (state.Cancelled())
            return ECANCELED;
        const ssize_t copied = copyChunk(left.Next(ChunkBytes));
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (copied == 0)
            return 0;
        left.Take(copied);
        state.Advance(copied);
    }
    return 0;
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
int CopyWithBuffer(int in, int out, CopyState& state, Remaining& left) {
    char* buffer = ThreadCopyBuffer();
    if (!buffer)
        return ENOMEM;
    while (!left.Done()) {
        if (state.Cancelled())
            return ECANCELED;
        const ssize_t got = ::read(in, buffer, left.Next(BufferBytes));
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
        left.Take(got);
        state.Advance(got);
    }
    return 0;
}

bool KernelRefused(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP;
}

// Turns on O_DIRECT where the file system allows it; otherwise the descriptor stays buffered.
void TryDirect(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_DIRECT);
}

// Copies `count` bytes (all up to the end when -1) from the current offsets of both files.
int CopyStream(int in, int out, int64_t count, CopyState& state) {
    // Each way that the kernel refuses has copied nothing from the current offsets on; the next one
    // carries on from there. copy_file_range works within one file system (with reflinks where it
    // can), sendfile between any two, page cache to page cache.
    Remaining left{count};
    int error = CopyInKernel(
        state, left, [&](std::size_t size) { return ::copy_file_range(in, nullptr, out, nullptr, size, 0); });
    if (KernelRefused(error))
        error =
            CopyInKernel(state, left, [&](std::size_t size) { return ::sendfile(out, in, nullptr, size); });
    if (KernelRefused(error))
        error = CopyWithBuffer(in, out, state, left);
    return error;
}

// Fewer blocks than the size needs: the file has holes (or keeps its data inline).
bool MayHaveHoles(const struct stat& info) {
    return info.st_size > 0 && static_cast<int64_t>(info.st_blocks) * 512 < info.st_size;
}

// Copies only the data of a file with holes, leaving its holes holes in the copy; the size is set at
// the end, so a hole at the end stays one too. EINVAL when the file system cannot tell data from holes.
int CopySparse(int in, int out, int64_t size, CopyState& state) {
    int64_t offset = 0;
    while (offset < size) {
        const off_t data = ::lseek(in, offset, SEEK_DATA);
        if (data < 0 && errno == ENXIO)
            break; // only a hole is left
        if (data < 0)
            return offset == 0 ? EINVAL : errno;
        if (data >= size)
            break; // data written after the size was taken is not part of this copy
        const off_t hole = ::lseek(in, data, SEEK_HOLE);
        if (hole < 0 || ::lseek(in, data, SEEK_SET) < 0 || ::lseek(out, data, SEEK_SET) < 0)
            return errno;
        state.Advance(data - offset);
        if (const int error = CopyStream(in, out, std::min<int64_t>(hole, size) - data, state))
            return error;
        offset = hole;
    }
    state.Advance(std::max<int64_t>(size - offset, 0));
    return ::ftruncate(out, size) == 0 ? 0 : errno;
}

// Lets the target share the source's blocks where the file system can (nothing is read or written);
// false, with the target untouched, where it cannot.
bool ShareBlocks(int in, int out, CopyState& state) {
    if (::ioctl(out, FICLONE, in) != 0)
        return false;
    state.Advance(state.total);
    return true;
}

int CopyContent(int in, int out, const struct stat& info, CopyState& state) {
    if (ShareBlocks(in, out, state))
        return 0;
    if (state.settings.NoBuffering) {
        TryDirect(in);
        TryDirect(out);
        Remaining all;
        return CopyWithBuffer(in, out, state, all);
    }
    if (MayHaveHoles(info)) {
        const int error = CopySparse(in, out, info.st_size, state);
        if (error != EINVAL)
            return error;
        if (::lseek(in, 0, SEEK_SET) != 0 || ::lseek(out, 0, SEEK_SET) != 0)
            return errno;
        state.done = 0;
    }
    return CopyStream(in, out, -1, state);
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
    const int error = CopyContent(in, out, info, state);
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

// A symbolic link is copied as a small file holding its target, with the link's own times: opens that
// text as a file and describes it in `info`. Returns the descriptor or -errno.
int OpenLinkText(const QString& source, struct stat& info) {
    const TPathAt at(source);
    if (at.Error())
        return -at.Error();
    if (::fstatat(at.Dir(), at.Name(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return -errno;
    if (!S_ISLNK(info.st_mode))
        return -EAGAIN; // replaced by something else since it was opened
    QByteArray target;
    if (const int error = LocalReadLink(source, target))
        return -error;
    const int fd = ::memfd_create("link", MFD_CLOEXEC);
    if (fd < 0)
        return -errno;
    int error = WriteAll(fd, target.constData(), static_cast<std::size_t>(target.size()));
    if (error == 0 && ::lseek(fd, 0, SEEK_SET) != 0)
        error = errno;
    if (error != 0) {
        ::close(fd);
        return -error;
    }
    info.st_mode = S_IFREG | 0644;
    info.st_size = target.size();
    info.st_blocks = (target.size() + 511) / 512;
    return fd;
}

// The group a new file in the folder gets: the folder's own when it passes it on, the process's else.
gid_t NewFileGroup(int folder) {
    struct stat info {};
    if (::fstat(folder, &info) == 0 && (info.st_mode & S_ISGID))
        return info.st_gid;
    return ::getegid();
}

// Gives a moved file the group a copy written there would have. Changing the group clears the
// set-user and set-group bits, so the mode is set again afterwards, as the copy sets it. A group the
// process may not give leaves the file its own, as it would a copy.
void TakeNewFileGroup(const QString& target) {
    const TPathAt at(target);
    struct stat info {};
    if (at.Error() || ::fstatat(at.Dir(), at.Name(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    const gid_t group = NewFileGroup(at.Dir());
    if (info.st_gid != group &&
        ::fchownat(at.Dir(), at.Name(), static_cast<uid_t>(-1), group, AT_SYMLINK_NOFOLLOW) == 0)
        ::fchmodat(at.Dir(), at.Name(), info.st_mode & 07777, 0);
}

} // namespace

int MoveLocalFile(const QString& source, const QString& target, bool replace) {
    const int error = replace ? LocalReplaceFile(source, target) : LocalRename(source, target);
    if (error == 0)
        TakeNewFileGroup(target);
    return error;
}

void CopyProgressRoutine(int64_t totalSize, int64_t transferred, std::atomic<int32_t>* percent) {
    if (!percent)
        return;
    const double exact =
        totalSize > 0 ? static_cast<double>(transferred) * 100.0 / static_cast<double>(totalSize) : 0;
    percent->store(static_cast<int32_t>(std::nearbyint(exact)), std::memory_order_relaxed);
}

int CopyLocalFile(const QString& source, const QString& target, const TCopyFileSettings& settings) {
    struct stat info {};
    int inFd = LocalOpenForReading(source);
    const bool link = inFd == -ELOOP;
    if (link)
        inFd = OpenLinkText(source, info);
    if (inFd < 0)
        return -inFd;
    FileDescriptor in(inFd);
    if (!link && ::fstat(in.get(), &info) != 0)
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
