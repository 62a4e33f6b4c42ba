#pragma once

#include "jobs/job.h"

#include <QString>

#include <memory>
#include <vector>

namespace morvane {

// Outcome of checking a name typed for a new or renamed job.
enum class JobNameCheck {
    Ok,
    Empty,            // nothing left after trimming: the command stops silently
    ForbiddenSymbols, // one of <>:"/\|?*, a control character, or the names "." and ".."
    Taken,            // another job bears it, ignoring the case of A-Z
};

// The ordered set of jobs the program knows: the jobs list file plus one job file per job, both in
// the application directory. Owns the job objects. Used on the user-interface thread only.
class TJobsCatalogue {
public:
    explicit TJobsCatalogue(QString applicationDirectory);

    // The characters a job name may not hold, as shown to the user.
    static const QString ForbiddenNameSymbols;

    static bool ContainsForbiddenSymbols(const QString& name);
    // Removes blanks and control characters at both ends.
    static QString TrimName(const QString& name);
    // Equal after folding the ASCII letters A-Z to one case; other letters compare exactly.
    static bool NamesEqual(const QString& a, const QString& b);

    // Checks a typed name; `trimmed` receives the name to use. `except` is left out of the
    // comparison with other jobs (none when null).
    JobNameCheck CheckNewName(const QString& typed, QString* trimmed, const TJob* except = nullptr) const;

    QString JobsListFile() const;
    QString JobFilePath(const QString& jobName) const;

    // Loads the jobs list and every job file it names; false when there is no list (an empty
    // catalogue) or reading it failed. Jobs whose file is missing or unreadable are left out, and so
    // are lines that repeat a name or could not be a job's name.
    bool LoadJobsListAndJobs();
    // Writes the names in catalogue order, replacing the file; false on any failure.
    bool SaveJobsList() const;

    int Count() const { return static_cast<int>(jobs_.size()); }
    TJob& At(int index) const { return *jobs_.at(index); }
    // Index of the first job whose name equals `name` exactly (case-sensitive), or -1.
    int IndexOfExactName(const QString& name) const;
    // Index of the first job whose name equals `name` under the name comparison, or -1.
    int IndexOfName(const QString& name) const;

    TJob& Append(std::unique_ptr<TJob> job);
    std::unique_ptr<TJob> Take(int index);

    // Move a job one place; false (and nothing changes) at the ends. Saves the jobs list.
    bool MoveUp(int index);
    bool MoveDown(int index);

    // Some job is running, cancelling or paused.
    bool AnyJobIsActive() const;

private:
    bool Swap(int first, int second);

    QString directory_;
    std::vector<std::unique_ptr<TJob>> jobs_;
};

} // namespace morvane
