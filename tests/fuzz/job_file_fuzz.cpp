// The local job file and the storage copy of a job, as the plain image the fuzzer shapes (stored
// scrambled, as the program writes it). A job that loads must save and load again to the same bytes.

#include "formats/encryptor.h"
#include "formats/file_image.h"
#include "fuzz_support.h"
#include "jobs/job.h"
#include "jobs/job_file.h"
#include "platform/paths.h"

namespace {

using namespace morvane;
using namespace morvane::fuzz;

QByteArray PlainImageOf(const QString& name) {
    return UnscrambleFileImage(ReadScratchFile(name));
}

// Saving what was loaded, then loading and saving that, gives the same image: no field is lost,
// clipped or changed on the way through.
template <typename Job> void CheckLocalRoundTrip(Job& loaded) {
    const QString first = JoinPath(ScratchFolder(), QStringLiteral("first.qkd"));
    Require(loaded.SaveLocalJobFile(first));
    Job again(QStringLiteral("Fuzz"));
    Require(again.LoadLocalJobFile(first));
    const QString second = JoinPath(ScratchFolder(), QStringLiteral("second.qkd"));
    Require(again.SaveLocalJobFile(second));
    Require(PlainImageOf(QStringLiteral("first.qkd")) == PlainImageOf(QStringLiteral("second.qkd")));
}

template <typename Job> bool LoadLocal(const QString& path) {
    Job job(QStringLiteral("Fuzz"));
    if (!job.LoadLocalJobFile(path))
        return false;
    CheckLocalRoundTrip(job);
    return true;
}

void LoadRemoteFilesJob(const QString& path) {
    TJob_FilesAndFolders job(QStringLiteral("Fuzz"));
    TBackupChainState chain;
    try {
        job.LoadRemoteJobFile(path, true, chain);
    } catch (const FileImageError&) {
        return;
    }
    const QString copy = JoinPath(ScratchFolder(), QStringLiteral("first.bmj"));
    Require(job.SaveRemoteJobFile(copy, chain));
    TJob_FilesAndFolders again(QStringLiteral("Fuzz"));
    TBackupChainState chainAgain;
    Require(again.LoadRemoteJobFile(copy, true, chainAgain));
    Require(chainAgain.MainBackupList == chain.MainBackupList &&
            chainAgain.PreviousLocalFilesList == chain.PreviousLocalFilesList &&
            chainAgain.PreviousLocalFilesTimeList == chain.PreviousLocalFilesTimeList &&
            chainAgain.PreviousLocalDirsList == chain.PreviousLocalDirsList &&
            chainAgain.SizeOfLastFullBackup == chain.SizeOfLastFullBackup &&
            chainAgain.SizeOfAllIncrementsOrLastDifferentialCopy ==
                chain.SizeOfAllIncrementsOrLastDifferentialCopy);
}

void LoadRemoteDriveJob(const QString& path) {
    TJob_DriveImage job(QStringLiteral("Fuzz"));
    try {
        job.LoadRemoteJobFile(path, true);
    } catch (const FileImageError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QString path =
        WriteScratchFile(QStringLiteral("fuzz.qkd"), ScrambleFileImage(InputBytes(data, size)));
    // The catalogue creates the job by the kind the header states; only that kind may load it.
    const int kind = GetJobFileKind(path);
    Require(!LoadLocal<TJob_FilesAndFolders>(path) || kind == 1);
    Require(!LoadLocal<TJob_DriveImage>(path) || kind == 2);
    LoadRemoteFilesJob(path);
    LoadRemoteDriveJob(path);
    DropPendingEvents();
    return 0;
}
