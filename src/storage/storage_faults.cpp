#include "storage/storage_faults.h"

#include "platform/file_copy.h"
#include "platform/local_files.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace morvane {

namespace {

struct TKindName {
    TStorageOperation Operation;
    const char* Name;
};

constexpr TKindName KindNames[] = {
    {TStorageOperation::Stat, "stat"},
    {TStorageOperation::Attributes, "attrs"},
    {TStorageOperation::Delete, "delete"},
    {TStorageOperation::RemoveDirectory, "rmdir"},
    {TStorageOperation::RemoveTree, "rmtree"},
    {TStorageOperation::CreateDirectories, "mkdir"},
    {TStorageOperation::Rename, "rename"},
    {TStorageOperation::Replace, "replace"},
    {TStorageOperation::OpenForReading, "open-read"},
    {TStorageOperation::OpenForWriting, "open-write"},
    {TStorageOperation::Read, "read"},
    {TStorageOperation::Write, "write"},
    {TStorageOperation::Finish, "finish"},
    {TStorageOperation::List, "list"},
    {TStorageOperation::Flush, "flush"},
    {TStorageOperation::Copy, "copy"},
};

const char* NameOf(TStorageOperation operation) {
    for (const TKindName& kind : KindNames)
        if (kind.Operation == operation)
            return kind.Name;
    return "?";
}

constexpr int KillAction = -1;

struct TFaultPlan {
    bool Enabled = false;
    bool AnyKind = true;
    TStorageOperation Kind = TStorageOperation::Stat;
    long long At = 0; // 0: count only
    int Action = 0;   // an errno value, or KillAction
};

int ErrorCodeOf(const QByteArray& name) {
    static const struct {
        const char* Name;
        int Code;
    } names[] = {{"EIO", EIO},       {"ENOSPC", ENOSPC}, {"EACCES", EACCES},    {"EROFS", EROFS},
                 {"ENOENT", ENOENT}, {"EDQUOT", EDQUOT}, {"ENOTCONN", ENOTCONN}};
    for (const auto& known : names)
        if (name == known.Name)
            return known.Code;
    bool ok = false;
    const int code = name.toInt(&ok);
    return ok && code > 0 ? code : 0;
}

std::atomic<long long> counted{0};

void PrintCount() {
    std::fprintf(stderr, "morvane-fault: %lld operations\n", counted.load());
}

TFaultPlan ReadPlan() {
    TFaultPlan plan;
    const QByteArray text = qgetenv("MORVANE_FAULT");
    if (text.isEmpty())
        return plan;
    const QList<QByteArray> parts = text.split(':');
    const bool counting = parts[0] == "count";
    const QByteArray kind = counting ? parts.value(1, "any") : parts[0];
    bool known = kind == "any";
    for (const TKindName& name : KindNames)
        if (kind == name.Name) {
            plan.AnyKind = false;
            plan.Kind = name.Operation;
            known = true;
        }
    if (!counting) {
        bool ok = false;
        plan.At = parts.value(1).toLongLong(&ok);
        const QByteArray action = parts.value(2);
        plan.Action = action == "kill" ? KillAction : ErrorCodeOf(action);
        if (!ok || plan.At < 1 || plan.Action == 0 || parts.size() != 3)
            known = false;
    }
    if (!known) {
        std::fprintf(stderr, "morvane-fault: ignoring MORVANE_FAULT=%s\n", text.constData());
        return plan;
    }
    plan.Enabled = true;
    static const int printAtExit = std::atexit(PrintCount);
    (void)printAtExit;
    return plan;
}

TFaultPlan& CurrentPlan() {
    static TFaultPlan plan = ReadPlan();
    return plan;
}

const TFaultPlan& Plan() {
    return CurrentPlan();
}

// 0, an errno value, or KillAction for this operation; names the faulted one on stderr.
int Decide(TStorageOperation operation, const QString& path) {
    const TFaultPlan& plan = Plan();
    if (!plan.Enabled || (!plan.AnyKind && operation != plan.Kind))
        return 0;
    const long long number = ++counted;
    if (number != plan.At)
        return 0;
    std::fprintf(stderr, "morvane-fault: operation %lld (%s %s): %s\n", number, NameOf(operation),
                 path.toUtf8().constData(), plan.Action == KillAction ? "kill" : std::strerror(plan.Action));
    std::fflush(stderr);
    return plan.Action;
}

[[noreturn]] void Kill() {
    std::raise(SIGKILL);
    _exit(137); // not reached
}

[[noreturn]] void ThrowSystemError(int code) {
    throw TStorageError(code, SystemErrorMessage(code));
}

void Check(TStorageOperation operation, const QString& path) {
    if (const int code = CountStorageOperation(operation, path))
        ThrowSystemError(code);
}

class FaultyFile final : public TStorageFile {
public:
    FaultyFile(std::unique_ptr<TStorageFile> inner, QString path) : inner_(std::move(inner)), path_(path) {}

    int64_t Read(char* buffer, int64_t size) override {
        if (const int code = CountStorageOperation(TStorageOperation::Read, path_))
            return -code;
        return inner_->Read(buffer, size);
    }
    int Write(const char* buffer, int64_t size) override {
        if (const int code = CountStorageOperation(TStorageOperation::Write, path_))
            return code;
        return inner_->Write(buffer, size);
    }
    int Finish(int64_t lastWriteTime) override {
        if (const int code = CountStorageOperation(TStorageOperation::Finish, path_)) {
            inner_->Finish(lastWriteTime);
            return code;
        }
        return inner_->Finish(lastWriteTime);
    }
    int64_t Size() const override { return inner_->Size(); }
    int64_t LastWriteTime() const override { return inner_->LastWriteTime(); }
    TStorageEntry Entry() const override { return inner_->Entry(); }

private:
    std::unique_ptr<TStorageFile> inner_;
    QString path_;
};

class FaultyFileSystem final : public TStorageFileSystem {
public:
    explicit FaultyFileSystem(std::unique_ptr<TStorageFileSystem> inner) : inner_(std::move(inner)) {}

    TStorageEntry Stat(const QString& path) override {
        Check(TStorageOperation::Stat, path);
        return inner_->Stat(path);
    }
    void SetAttributesNone(const QString& path) override {
        Check(TStorageOperation::Attributes, path);
        inner_->SetAttributesNone(path);
    }
    void DeleteFile(const QString& path) override {
        Check(TStorageOperation::Delete, path);
        inner_->DeleteFile(path);
    }
    bool RemoveEmptyDirectory(const QString& path) override {
        return CountStorageOperation(TStorageOperation::RemoveDirectory, path) == 0 &&
               inner_->RemoveEmptyDirectory(path);
    }
    bool RemoveTree(const QString& path) override {
        return CountStorageOperation(TStorageOperation::RemoveTree, path) == 0 && inner_->RemoveTree(path);
    }
    void CreateDirectories(const QString& path) override {
        // The file system reports such a refusal at the next copy into the folder, not here.
        if (CountStorageOperation(TStorageOperation::CreateDirectories, path) == 0)
            inner_->CreateDirectories(path);
    }
    void Rename(const QString& from, const QString& to) override {
        Check(TStorageOperation::Rename, from);
        inner_->Rename(from, to);
    }
    void ReplaceFile(const QString& from, const QString& to) override {
        Check(TStorageOperation::Replace, to);
        inner_->ReplaceFile(from, to);
    }
    std::unique_ptr<TStorageFile> OpenForReading(const QString& path) override {
        if (const int code = CountStorageOperation(TStorageOperation::OpenForReading, path))
            throw TStorageError(code, CopyErrorText(code));
        return std::make_unique<FaultyFile>(inner_->OpenForReading(path), path);
    }
    std::unique_ptr<TStorageFile> OpenForWriting(const QString& path, bool sourceReadOnly,
                                                 bool onlyNew) override {
        if (const int code = CountStorageOperation(TStorageOperation::OpenForWriting, path))
            throw TStorageError(code, CopyErrorText(code));
        return std::make_unique<FaultyFile>(inner_->OpenForWriting(path, sourceReadOnly, onlyNew), path);
    }
    QList<TStorageListEntry> List(const QString& path) override {
        Check(TStorageOperation::List, path);
        return inner_->List(path);
    }
    void Flush(const QString& path) override {
        Check(TStorageOperation::Flush, path);
        inner_->Flush(path);
    }
    bool IsLocal() const override { return inner_->IsLocal(); }

private:
    std::unique_ptr<TStorageFileSystem> inner_;
};

} // namespace

bool StorageFaultsEnabled() {
    return Plan().Enabled;
}

void ReloadStorageFaults() {
    CurrentPlan() = ReadPlan();
    counted = 0;
}

std::unique_ptr<TStorageFileSystem> WithStorageFaults(std::unique_ptr<TStorageFileSystem> fileSystem) {
    if (!StorageFaultsEnabled())
        return fileSystem;
    return std::make_unique<FaultyFileSystem>(std::move(fileSystem));
}

int CountStorageOperation(TStorageOperation operation, const QString& path) {
    const int action = Decide(operation, path);
    if (action == KillAction)
        Kill();
    return action;
}

int CountLocalCopy(const QString& source, const QString& target, TTargetWrite targetWrite) {
    const int action = Decide(TStorageOperation::Copy, target);
    if (action != KillAction)
        return action;
    if (targetWrite != TTargetWrite::Atomic) {
        // A copy written under its own name shows its first part when the process ends mid-way.
        TCopyFileSettings settings;
        settings.TargetWrite = TTargetWrite::InPlace;
        int64_t size = 0;
        settings.SourceSize = &size;
        if (CopyLocalFile(source, target, settings) == 0 && size > 0) {
            const QByteArray name = QFile::encodeName(target);
            if (::truncate(name.constData(), size / 2) != 0)
                std::perror("morvane-fault: truncate");
        }
    }
    Kill();
}

} // namespace morvane
