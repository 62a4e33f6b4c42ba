#pragma once

#include "jobs/job.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <array>
#include <functional>
#include <optional>

namespace morvane {

class IUserPrompt;

// What a page check tells the user. A non-blocking message is shown and the wizard still moves on.
struct TWizardMessage {
    enum class Kind { Warning, Error };
    QString Text;
    Kind MessageKind = Kind::Warning;
    bool Blocking = true;
    bool ShowList = false; // the list of sources opens after the message
    bool operator==(const TWizardMessage&) const = default;
};

// Shows a page check's message through the prompt (warnings as plain messages, errors as errors).
void ShowWizardMessage(IUserPrompt& prompt, const TWizardMessage& message);

// The schedule page both wizards share.
struct TScheduleFields {
    bool DaysOfWeekChecked = false;
    bool DaysOfMonthChecked = false;
    std::array<bool, 7> Weekdays{};   // index 0 is Monday
    std::array<bool, 31> MonthDays{}; // index 0 is day 1
    QStringList TimeTable;            // "hh:mm:ss", ascending, no repeats
    bool RunMissedStart = true;
    bool ShutdownAtEnd = false;

    // Checking one group of days unchecks the other.
    void SetDaysOfWeekChecked(bool checked);
    void SetDaysOfMonthChecked(bool checked);
    // The day lists, the timetable and the two options are usable only while a group is checked.
    bool TimetableEnabled() const { return DaysOfWeekChecked || DaysOfMonthChecked; }
};

// Adds a time of day at its place in the timetable; the warning when it is already there.
std::optional<TWizardMessage> AddTimeToTimetable(QStringList& timetable, const QTime& time);
// The check of Save on the schedule page.
std::optional<TWizardMessage> CheckSchedulePage(const TScheduleFields& fields);
TScheduleFields ScheduleToFields(const TSchedulingSettings& schedule);
// Writes the page into the schedule and stamps the moment of saving.
void FieldsToSchedule(const TScheduleFields& fields, TSchedulingSettings& schedule);

// The destination of a job: a local folder, or a network share with its credentials.
struct TDestinationFields {
    bool Network = false;
    QString LocalPath;
    QString NetworkPath;
    QString NetworkUser;
    QString NetworkPassword; // never shown in a field
    bool PasswordSet() const { return !NetworkPassword.isEmpty(); }
    QString PasswordStatusText() const;
};

// A password typed twice: the first text without blanks and control characters at its ends when
// both agree so trimmed (an empty one clears the password), nothing when they differ.
std::optional<QString> ConfirmedPassword(const QString& typed, const QString& confirmation);
QString PasswordsDoNotMatchText();

// How a wizard ended.
enum TWizardResult { wrDiscard = 0, wrSave = 1, wrSaveAndRun = 2 };

// Page movement and the result code both wizards share.
class TWizardPages {
public:
    explicit TWizardPages(int pageCount) : count_(pageCount) {}
    int Page() const { return page_; }
    int PageCount() const { return count_; }
    bool BackEnabled() const { return page_ > 0; }
    bool NextEnabled() const { return page_ + 1 < count_; }
    bool SaveEnabled() const { return page_ + 1 == count_; }
    int ResultCode() const { return result_; }
    // Each showing starts without a result.
    void ResetResult() { result_ = wrDiscard; }
    void Back() {
        if (BackEnabled())
            --page_;
    }

protected:
    void First() { page_ = 0; }
    void Forward() {
        if (NextEnabled())
            ++page_;
    }
    void SetResult(TWizardResult result) { result_ = result; }

private:
    int count_;
    int page_ = 0;
    int result_ = wrDiscard;
};

// The files-and-folders wizard's fields and rules, without any widget.
class TFilesWizard : public TWizardPages {
public:
    enum PageIndex { pgSources = 0, pgDestination = 1, pgMethod = 2, pgSchedule = 3 };

    TFilesWizard() : TWizardPages(4) { ClearControls(); }

    QStringList Sources; // files as full paths, folders as path + "/*"
    TFilterType FilterType = ftNoFilters;
    QString Extensions;
    TDestinationFields Destination;
    TBackupType BackupType = btSync;
    int FullBackupEveryCopies = 5;
    int FullCopiesToKeep = 10;
    bool RemoveOldFirst = false;
    TScheduleFields Schedule;
    bool EditingJob = false;
    bool WarningShown = false;

    // The user picked a method. Changing an existing job's method makes its next run replace the
    // backups it has, which is said once per opening.
    std::optional<TWizardMessage> ChooseBackupType(TBackupType type);

    // The new-job defaults, page 1.
    void ClearControls();
    // Fills the pages from a job. Sources that no longer exist are found off the interface thread
    // (`MissingSources`) and then taken out with `DropSources`.
    void JobToControls(const TJob_FilesAndFolders& job);
    void DropSources(const QStringList& missing);
    // Copies the pages into the job. An empty result means done; otherwise the text to show (a source
    // that went away while the wizard was open).
    QString ControlsToJob(TJob_FilesAndFolders& job) const;

    // Enabling of the method page.
    bool FullEveryEnabled() const { return BackupType == btInc; }
    bool KeepEnabled() const { return BackupType != btSync; }
    bool ExtensionsEnabled() const { return FilterType != ftNoFilters; }

    // The local folder the destination page's check needs to know about, empty when none: a window
    // finds out off the interface thread whether it exists and passes the answer to Next.
    QString FolderToCheck() const;
    // The check of the page being left (the extension text is normalised in place). Without
    // `folderExists` the destination folder is looked at here.
    std::optional<TWizardMessage> CheckPage(int page, std::optional<bool> folderExists = std::nullopt);
    // Next: checks the page, shows its message and moves on unless it blocks. True when moved.
    // `showList` shows the sources after the duplicate-name error (an information box without it).
    bool Next(IUserPrompt& prompt, const std::function<void(const QStringList&)>& showList = {},
              std::optional<bool> folderExists = std::nullopt);
    // Save or Save && Run on the last page: true when the wizard closes with that result.
    bool Save(IUserPrompt& prompt, TWizardResult result);
    // The entries as the list viewer shows them: folders without their trailing "/*".
    static QStringList SourcesAsList(const QStringList& sources);

private:
    TBackupType openedBackupType_ = btSync;
};

// Page checks, one per page, as pure functions of the fields.
std::optional<TWizardMessage> CheckSourcesPage(const QStringList& sources, TFilterType filter,
                                               QString& extensions);
std::optional<TWizardMessage> CheckFilesDestinationPage(const TDestinationFields& destination,
                                                        std::optional<bool> folderExists = std::nullopt);

// Disk lookups behind the checks; they may wait on a slow or hung mount, so windows call them on a worker.
bool LocalFolderExists(const QString& path);
// The entries (folders as path + "/*") whose file or folder is no longer there.
QStringList MissingSources(const QStringList& entries);

// A volume of this machine the drive-image wizard offers.
struct TVolumeEntry {
    QString RootPath; // the mount point
    QString Label;
    qint64 Size = 0;
    QString DisplayText() const;
};

// The mounted volumes of this machine that sit on block devices, by mount point.
QList<TVolumeEntry> MachineVolumes();

// The drive-image wizard's fields and rules.
class TImageWizard : public TWizardPages {
public:
    enum PageIndex { pgDisks = 0, pgDestination = 1, pgSchedule = 2 };

    TImageWizard() : TWizardPages(3) { ClearControls(); }

    QStringList CheckedDrives; // root paths
    QString DestinationDrive;  // the chosen volume's root path; empty when none
    TDestinationFields Destination;
    bool KeepVersions = false;
    QString VersionsToKeep = QStringLiteral("3");
    TScheduleFields Schedule;
    bool EditingJob = false;

    void ClearControls();
    void JobToControls(const TJob_DriveImage& job);
    void ControlsToJob(TJob_DriveImage& job) const;

    void SetDriveChecked(const QString& root, bool checked);
    std::optional<TWizardMessage> CheckPage(int page) const;
    bool Next(IUserPrompt& prompt);
    bool Save(IUserPrompt& prompt, TWizardResult result);
};

} // namespace morvane
