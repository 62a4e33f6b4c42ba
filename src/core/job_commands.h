#pragma once

#include "core/job_import.h"
#include "core/jobs_catalogue.h"
#include "jobs/job.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace morvane {

// The job commands the window and the command-line tool share. They decide on values and leave the
// showing to the caller: no function here prints or asks. Lines meant for the events log are added to
// it, as every command of the program does.

// A name typed for a new job, checked against the catalogue.
struct TJobNameResult {
    JobNameCheck Check = JobNameCheck::Ok;
    QString Name;    // the trimmed name to use when Check is Ok
    QString Message; // the text to show when it is not (empty for Ok and Empty: nothing to say)
};
TJobNameResult CheckJobName(const TJobsCatalogue& catalogue, const QString& typed);

// The job of that name: exact first, then ignoring the case of A-Z; nullptr when there is none.
TJob* FindJobByName(const TJobsCatalogue& catalogue, const QString& name);
// The text to show when a named job is not in the catalogue.
QString JobNotFoundMessage(const QString& name);

// A count of copies (full backup every N copies, full copies to keep): 0 or more.
bool IsValidCopyCount(int count);

// What a new files-and-folders job is made from, as a wizard or the command line collects it.
struct TNewFilesJobSettings {
    QStringList Sources; // paths of files and folders, relative ones from the working folder
    QString Destination; // a local folder or a network path
    std::optional<TBackupType> BackupType;
    std::optional<int32_t> FullBackupEveryCopies;
    std::optional<int32_t> FullCopiesToKeep;
    bool RemoveOldBackupsFirst = false;
    TFilterType FilterType = ftNoFilters;
    QString Extensions; // as typed: normalised before it is checked
    QString NetworkUser;
    QString NetworkPassword;
};

enum class NewJobProblem {
    None,
    FullEveryOutOfRange, // a count below 0
    KeepOutOfRange,
    SourceMissing,     // Detail: the path
    DuplicatedSources, // Detail: the pair, as GetDuplicatedNamesOfFoldersOrFiles gives it
    ExtensionsEmpty,
    ExtensionsForbidden,
};

struct TNewJobFill {
    NewJobProblem Problem = NewJobProblem::None;
    QString Detail;
};

// Fills a new job from the settings; the first problem, in the order above. A folder source becomes
// its absolute path + "/*", a file its absolute path; the destination is a network one when it is a
// network path.
TNewJobFill FillNewJob(TJob_FilesAndFolders& job, const TNewFilesJobSettings& settings);
// The translated text of a source or filter problem (empty for None and the counts, which are the
// caller's input syntax).
QString NewJobProblemMessage(const TNewJobFill& fill);

// How a command that changes the catalogue ended.
enum class JobCommandOutcome {
    Done,
    Refused,          // the input was refused; nothing changed
    JobFileNotSaved,  // nothing added
    JobsListNotSaved, // the change is made, but the jobs list file could not be written
    Failed,           // the command did not do its work
};

struct TJobCommandResult {
    JobCommandOutcome Outcome = JobCommandOutcome::Done;
    QString Message;     // the text to show when the outcome is not Done
    QStringList Log;     // storage lines of a failed import
    TJob* Job = nullptr; // the job added, when there is one
};

// Writes the jobs list; an events line when it could not be written.
bool SaveJobsListOrLog(const TJobsCatalogue& catalogue);

// Makes a files-and-folders job under an already checked name from the settings, saves its job file
// and the jobs list, and announces it as `typed` in the events log.
TJobCommandResult CreateFilesJob(TJobsCatalogue& catalogue, const QString& name, const QString& typed,
                                 const TNewFilesJobSettings& settings);

// The job name a storage copy (".bmj") stands for, or nothing when the path is not one.
std::optional<QString> JobNameOfStorageCopy(const QString& path);
// Imports the job of a storage copy under an already checked name and saves its job file and the jobs
// list; a job whose file could not be written is not added.
TJobCommandResult ImportStorageCopy(TJobsCatalogue& catalogue, const QString& path, const QString& name,
                                    const QString& networkUser, const QString& networkPassword);
// The second half of ImportStorageCopy, for a caller that read the storage on a worker
// (ImportJobFromStorage): adds the job read, or reports why there is none.
TJobCommandResult AddImportedJob(TJobsCatalogue& catalogue, TImportedJob imported, const QString& name);

// Removes a job from the catalogue with its job file and, when asked, its backups on the storage
// (the job's own Remove). The job leaves the catalogue even when its backups could not be removed:
// then the outcome is Failed with the text that says to remove them by hand.
TJobCommandResult RemoveJobFromCatalogue(TJobsCatalogue& catalogue, TJob& job, bool withBackups);
// Its two halves, for a caller that removes the backups on a worker. RemoveBackupFolder: the job's
// own Remove with the events line of success (any thread, after nothing else uses the job's storage).
bool RemoveBackupFolder(TJob& job);
// The job file, the catalogue entry and the jobs list; Failed when the folder was not removed.
TJobCommandResult RemoveJobRecord(TJobsCatalogue& catalogue, TJob& job, bool folderRemoved);

// The name a copy of a job is proposed under: name + " (Duplicated)", or with a number added inside
// the brackets (" (Duplicated 2)", ...) when a job bears that name already.
QString NextDuplicateName(const TJobsCatalogue& catalogue, const QString& name);
// Adds a job of the source's kind with its settings under an already checked name: no result, logs or
// history of its own, and its own backup folder. Saves its job file and the jobs list and announces it
// as `typed`.
TJobCommandResult DuplicateJob(TJobsCatalogue& catalogue, const TJob& source, const QString& name,
                               const QString& typed);

// A name typed for renaming a job. Neither Proceed nor a Message: nothing to do (empty, or the
// job's own name exactly).
struct TRenameCheck {
    bool Proceed = false; // true: rename to Name
    QString Name;         // the trimmed name
    QString Message;      // the refusal to show, when there is one
};
TRenameCheck CheckRename(const TJobsCatalogue& catalogue, const TJob& job, const QString& typed);

// What renaming a job did, step by step.
struct TRenameSteps {
    bool StorageTouched = false; // the job has a folder on the storage (it ran, or came with one)
    bool StorageFolder = false;  // the backup folder bears the new name
    bool StorageCopy = false;    // so does the storage copy beside it
    bool LogFolder = false;      // the log folder was renamed (false also when there was none)
    bool JobFile = false;        // the local job file bears the new name: the job is renamed
    QStringList Lines;           // what was and was not renamed, translated, one line each
};

// Renames the job's backup folder and storage copy (when the job has run, or was imported with a folder
// this installation owns), its log folder and its local job file in `jobFilesDirectory`. A storage copy that
// cannot be renamed brings the folder back to its old name, so a failed rename never parts the job from its
// backups. The caller takes the options copy first (OptionsToJobOptions) and shows the job running until
// FinishRename, so nothing starts the job meanwhile; the name itself is changed by FinishRename, on the
// thread that shows it. Any thread; lines for the events log are added to it.
TRenameSteps ChangeName(TJob& job, const QString& newName, const QString& jobFilesDirectory);
// The name change in the catalogue after ChangeName: the jobs list saved and the events line, or the
// failure with the texts saying what was and was not renamed (in Log).
TJobCommandResult FinishRename(TJobsCatalogue& catalogue, TJob& job, const QString& newName,
                               const TRenameSteps& steps);
// A schedule as asked for: days of the week or of the month, and times of day.
struct TScheduleRequest {
    enum class Kind { Off, DaysOfWeek, DaysOfMonth };
    Kind Type = Kind::Off;
    std::array<bool, 7> Weekdays{}; // index 0 is Monday
    std::vector<int> MonthDays;     // 1 to 31
    QStringList Times;              // "H:mm" or "H:mm:ss"
    bool CatchUp = false;
    bool Shutdown = false;
};

enum class ScheduleProblem {
    None,
    NoTimes,
    TimeInvalid,  // Detail: the text
    TimeRepeated, // Detail: the time as stored
    MonthDayOutOfRange,
};

struct TScheduleResult {
    ScheduleProblem Problem = ScheduleProblem::None;
    QString Detail;
    TSchedulingSettings Schedule;
};

// The stored form of a time of day ("08:05:00"), or nothing when the text is not one.
std::optional<QString> ScheduleTimeEntry(const QString& text);
// The job's schedule changed as asked: Off keeps the days and times, so the schedule can be switched
// on again as it was; otherwise the times are sorted and a repeated one is refused.
TScheduleResult BuildSchedule(const TSchedulingSettings& current, const TScheduleRequest& request);
// Gives the job the schedule and saves its job file. Starts scheduled before now are not made up
// for, as after an edit in the job editor.
TJobCommandResult SaveJobSchedule(const TJobsCatalogue& catalogue, TJob& job, TSchedulingSettings schedule);

} // namespace morvane
