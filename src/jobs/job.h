#pragma once

#include "options/options.h"
#include "platform/date_time.h"

#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace morvane {

class TNetworkPathConnection;
class TPreparedCopies;
class TRestoreDialogs;
class IProcessService;
class TDriveImageRestoreGuidance;
// Deletes a connection where its type is complete: the storage layer that makes one hands over its own
// deleting function, so this layer needs only the name and never links to the layer above.
struct TNetworkPathConnectionDeleter {
    void (*Delete)(TNetworkPathConnection* connection) = nullptr;
    void operator()(TNetworkPathConnection* connection) const { Delete(connection); }
};

// What connecting to the storage gave: the job folder, or the reason there is none as the text shown
// to the user (already translated, beginning with the translated "ERROR:"). Callers decide on
// `Connected`, never on the text.
struct TConnectResult {
    bool Connected = false;
    QString JobFolder;
    QString Error;

    static TConnectResult To(const QString& jobFolder) { return {true, jobFolder, QString()}; }
    static TConnectResult Failed(const QString& error) { return {false, QString(), error}; }
};

enum TJobStatus : uint8_t { jsNone, jsWaiting, jsRunning, jsCancelling, jsPaused };
enum TJobOperation : uint8_t { joBackup, joReadRestorePoints, joRestore, joRename, joRemove };
enum TSchedulingType : uint8_t { stDisabled, stDaysOfWeek, stDaysOfMonth };
enum TDestinationType : uint8_t { dtExternalDevice, dtNetwork };
enum TOperationResult : uint8_t { orSuccess, orERROR_LocalAccess, orERROR_RemoteAccess };
enum TFileOperationType : uint8_t {
    atCopyFromLocalToRemoteFile,
    atCopyFromLocalToRemoteFileThroughTempFolder,
    atCopyFromRemoteToLocalFile,
    atRemoveRemoteFile,
    atRemoveRemoteEmptyFolder,
    atRemoveRemoteNotEmptyFolder,
    atCreateRemoteFolder,
    atRenameRemoteFolder,
    atRenameRemoteFile,
    atNone_WaitingForReconnection,
    atNone
};
enum TFilterType : uint8_t { ftNoFilters, ftIncludeOnly, ftExclude };
enum TBackupType : uint8_t { btSync, btFull, btInc };

// Number of values of each stored enumeration, for readers that must refuse out-of-range ordinals.
inline constexpr int SchedulingTypeCount = 3;
inline constexpr int DestinationTypeCount = 2;
inline constexpr int FilterTypeCount = 3;
inline constexpr int BackupTypeCount = 3;

// The names of the enumeration values, as written in the code ("btInc").
QString EnumName(TJobStatus value);
QString EnumName(TJobOperation value);
QString EnumName(TSchedulingType value);
QString EnumName(TDestinationType value);
QString EnumName(TFilterType value);
QString EnumName(TBackupType value);

// Result of the last run. The worker writes it while the interface thread shows the counters and
// times, so those are atomic; the log lines are read by the interface only while the job is idle.
struct TJobResult {
    std::atomic<TDateTime> StartTime{0};
    std::atomic<TDateTime> EndTime{0};
    QStringList Log;
    std::atomic<bool> Cancelled{false};
    std::atomic<int32_t> ErrorsCount{0};
    std::atomic<int32_t> WarningsCount{0};
};

struct TSchedulingSettings {
    TSchedulingType SchedulingType = stDisabled;
    std::array<bool, 7> DaysOfWeek{};   // index 0 is Monday, 6 is Sunday
    std::array<bool, 31> DaysOfMonth{}; // index 0 is day 1
    QStringList TimeTable;
    TDateTime LastModificationDateTime = 0;
    bool RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = false;
    bool ShutdownPCInTheEnd = false;
};

// The path of the file in progress, for display. A worker writes it while the interface thread reads
// it; every unit is an atomic, so a reader may see a mix of two paths for one tick but never a race.
class TCurrentFileOperationPath {
public:
    static constexpr int Capacity = 259;
    static constexpr int StoredUnits = 256;

    // Keeps the first 256 UTF-16 units of the path and clears the rest of them.
    void Set(QStringView path);
    // The text up to the first zero unit.
    QString Text() const;

private:
    std::array<std::atomic<char16_t>, Capacity> units_{};
};

class TJob {
public:
    enum class Kind { FilesAndFolders = 1, DriveImage = 2 };

    explicit TJob(const QString& JobName);
    virtual ~TJob();
    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    virtual Kind JobKind() const = 0;

    // Copies the options into JobOptions; runs read only this copy.
    void OptionsToJobOptions(const TOptions& options = GlobalOptions());
    // The start of every backup run, on the user-interface thread: the job runs a backup with an empty
    // result, takes its options copy and announces the run in the events log.
    void BeginBackup();
    // Asks a running or paused job to stop, or takes a waiting job off the queue.
    void Cancel();
    void Pause();
    // The English text in the language of this job's options copy (the lookup workers use).
    QString TranslateText(const QString& text) const;

    // Adds a dated history line, or appends the event to the last line; trims the history to the
    // options' limit.
    void AddEventtoBackupHistory(const QString& strEvent, bool AppendToLastString);
    // Forgets log files deleted by hand and deletes the oldest beyond the options' limit.
    void RemoveOldLogs();
    // Removes the job's temporary folders and temporary storage copy.
    void DeleteTempFiles();
    // The temporary folder of the copies made ahead of a run's file operations: beside the job's own
    // one, under a name no job can have, so no source file's temporary copy ever lands on it.
    QString CopyAheadFolder() const;

    // One action on the storage with its log lines, retries, cancel and progress (storage layer).
    TOperationResult FileOperation(TFileOperationType csOperationType, const QString& csstrLocal,
                                   const QString& csstrRemote, int RetryCount, bool LogError);
    // The job folder on the storage, or the error the connection ended with.
    TConnectResult ConnectToStorage();
    void DisconnectFromStorage();

    QString stJobName;
    std::atomic<TJobOperation> JobOperation{joBackup};
    std::atomic<TJobStatus> JobStatus{jsNone};
    TCurrentFileOperationPath CurrentFileOperationPath;
    std::atomic<int64_t> CurrentBackupFilesProcessed{0};
    bool NewSubfolderIsCreatedForEachBackup = false;
    bool CanPause = true;
    TJobResult LastJobResult;
    QStringList BackupHistory;
    QStringList LogList;
    TSchedulingSettings SchedulingSettings;
    TDestinationType DestinationType = dtExternalDevice;
    QString DestinationPath;
    QString Destination_NetworkUsername;
    QString Destination_NetworkPassword;
    TOptions JobOptions;
    // 0 = false, all bits set = true; the copy in progress polls it.
    std::atomic<int32_t> CancelCurrentFileOperation{0};
    std::atomic<TFileOperationType> CurrentFileOperationType{atNone};
    // While a failed storage action waits for its next attempt (CurrentFileOperationType reads
    // atNone_WaitingForReconnection): the moment of that attempt; 0 otherwise.
    std::atomic<TDateTime> RetryDeadline{0};
    std::atomic<int32_t> CurrentFileOperationProgress{0};
    std::atomic<int64_t> CurrentBackupSize{0};
    // The open connection to a network storage, used only by the thread that runs the job.
    std::unique_ptr<TNetworkPathConnection, TNetworkPathConnectionDeleter> NetworkConnection;
    // Temporary copies another thread made ahead of the worker's file operations; null when none are
    // made. Set and read by the worker only.
    TPreparedCopies* PreparedCopies = nullptr;

    // Messages about this job's files: the shared lookup on the interface thread, the job's own copy
    // on a worker (which must not read the process-wide catalogue).
    QString TranslateForCurrentThread(const QString& text) const;

    // Runs `work` on a worker thread of this job's own, after the previous run's thread has ended.
    void StartWorker(std::function<void()> work);
    // Waits until the worker thread of the last run has ended.
    void WaitForWorker();
    // Waits at most `timeout` for the last run's work to end; true when it has (or none was started).
    bool WaitForWorkerFor(std::chrono::milliseconds timeout);

private:
    std::thread worker_;
    std::mutex workerMutex_;
    std::condition_variable workerEnded_;
    bool workerRunning_ = false;
};

// State of the backup chain that the storage copy of a files-and-folders job carries.
struct TBackupChainState {
    QStringList MainBackupList;
    QStringList PreviousLocalFilesList;
    QStringList PreviousLocalFilesTimeList;
    QStringList PreviousLocalDirsList;
    int64_t SizeOfLastFullBackup = 0;
    int64_t SizeOfAllIncrementsOrLastDifferentialCopy = 0;
};

class TJob_FilesAndFolders final : public TJob {
public:
    struct TSourceSettings {
        QStringList List; // files as full paths, folders as path + "/*"
        TFilterType FilterType = ftNoFilters;
        QString Extensions;
    };
    struct TBackupSettings {
        TBackupType BackupType = btInc;
        int32_t PerformFullBackup_EveryCopies = 5;
        int32_t NumberFullCopiesToKeep = 10;
        bool RemoveOldBackupsBeforeStartingNewBackup = false;
    };
    struct TSpecificSettings {
        TSourceSettings Sources;
        TBackupSettings Backup;
    };

    explicit TJob_FilesAndFolders(const QString& JobName);
    // A run still working on this job is waited for while every member is still alive.
    ~TJob_FilesAndFolders() override { WaitForWorker(); }
    Kind JobKind() const override { return Kind::FilesAndFolders; }

    // Starts a backup run on a worker thread and returns at once.
    void Backup();
    // The backup run; executes on the worker thread.
    void BackupInThread();
    // Deletes the job's backup folder and its storage copy from the storage; true when both went.
    bool Remove();
    // Asks for the output folder and the restore point through `dialogs`, then starts the restore run.
    void Restore(TRestoreDialogs& dialogs);
    // The restore run of the points read by Restore (the chain without its type marker); executes on
    // the worker thread.
    void RestoreInThread(const QString& OutputPath, const QString& myZIPPassword, int ListInd,
                         const TBackupChainState& Points);

    bool SaveLocalJobFile(const QString& AFileName);
    bool LoadLocalJobFile(const QString& path);
    // Appends the stored chain state to `chain` (sizes are replaced); with LoadJobSettings also loads
    // the settings, with scheduling disabled. A missing file changes nothing; a damaged one throws
    // JobFileError.
    bool LoadRemoteJobFile(const QString& path, bool LoadJobSettings, TBackupChainState& chain);
    // Failures are silent: the caller goes on without a storage copy.
    bool SaveRemoteJobFile(const QString& fileName, const TBackupChainState& chain) const;

    TSpecificSettings Settings;
};

class TJob_DriveImage final : public TJob {
public:
    struct TSpecificSettings {
        QStringList SourceDrivesList;
        bool AutocleanOldBackups = false;
        QString NumberOfBackupVersionsToKeep = QStringLiteral("3");
    };

    explicit TJob_DriveImage(const QString& JobName);
    ~TJob_DriveImage() override { WaitForWorker(); }
    Kind JobKind() const override { return Kind::DriveImage; }

    // Starts a backup run through the imaging tool on a worker thread and returns at once.
    void Backup();
    // The backup run; executes on the worker thread.
    void BackupInThread();
    // Deletes the storage copy of the job file and, when old versions are cleaned and the last run had
    // no errors, launches the deletion of every image version; true when that deletion was launched.
    bool Remove();
    // Checks that the storage is reachable, then shows the restore guidance through `guidance`.
    void Restore(TDriveImageRestoreGuidance& guidance);

    bool SaveLocalJobFile(const QString& AFileName);
    bool LoadLocalJobFile(const QString& path);
    bool LoadRemoteJobFile(const QString& path, bool LoadJobSettings);
    bool SaveRemoteJobFile(const QString& fileName) const;

    TSpecificSettings Settings;
    // Starts the imaging tool; the system's own when not set. Set only while the job is idle.
    IProcessService* ProcessService = nullptr;

private:
    // The imaging tool beside the program, found by the thread that starts a run.
    QString toolBesideProgram_;
};

// Local job file operations by the job's actual kind.
bool SaveLocalJobFile(TJob& job, const QString& path);
bool LoadLocalJobFile(TJob& job, const QString& path);

} // namespace morvane
