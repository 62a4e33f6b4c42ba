#include "core/jobs_catalogue.h"

#include "formats/text_file.h"
#include "jobs/job_file.h"
#include "platform/paths.h"

#include <QFile>

#include <algorithm>
#include <utility>

namespace morvane {

namespace {

const QString JobsListFileName = QStringLiteral("jobslist.qkl");

bool IsBlankOrControl(QChar c) {
    return c.unicode() <= u' ';
}

char16_t FoldAscii(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

std::unique_ptr<TJob> CreateJobOfKind(int kind, const QString& name) {
    switch (kind) {
    case 1:
        return std::make_unique<TJob_FilesAndFolders>(name);
    case 2:
        return std::make_unique<TJob_DriveImage>(name);
    default:
        return nullptr;
    }
}

} // namespace

const QString TJobsCatalogue::ForbiddenNameSymbols = QStringLiteral("<>:\"/\\|?*");

TJobsCatalogue::TJobsCatalogue(QString applicationDirectory) : directory_(std::move(applicationDirectory)) {}

bool TJobsCatalogue::ContainsForbiddenSymbols(const QString& name) {
    for (const QChar c : name)
        if (ForbiddenNameSymbols.contains(c))
            return true;
    return false;
}

QString TJobsCatalogue::TrimName(const QString& name) {
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && IsBlankOrControl(name[begin]))
        ++begin;
    while (end > begin && IsBlankOrControl(name[end - 1]))
        --end;
    return name.mid(begin, end - begin);
}

bool TJobsCatalogue::NamesEqual(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i].unicode()) != FoldAscii(b[i].unicode()))
            return false;
    return true;
}

JobNameCheck TJobsCatalogue::CheckNewName(const QString& typed, QString* trimmed, const TJob* except) const {
    const QString name = TrimName(typed);
    if (trimmed)
        *trimmed = name;
    if (name.isEmpty())
        return JobNameCheck::Empty;
    // "." and ".." would name a parent folder in the log and temporary paths, and a control character
    // inside a name would split its line in the jobs list.
    const bool controlInside =
        std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20; });
    if (ContainsForbiddenSymbols(typed) || controlInside || name == u"." || name == u"..")
        return JobNameCheck::ForbiddenSymbols;
    for (const auto& job : jobs_)
        if (job.get() != except && NamesEqual(job->stJobName, name))
            return JobNameCheck::Taken;
    return JobNameCheck::Ok;
}

QString TJobsCatalogue::JobsListFile() const {
    return JoinPath(directory_, JobsListFileName);
}

QString TJobsCatalogue::JobFilePath(const QString& jobName) const {
    return LocalJobFilePath(directory_, jobName);
}

bool TJobsCatalogue::LoadJobsListAndJobs() {
    QFile file(JobsListFile());
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    for (const QString& name : SplitTextLines(bytes)) {
        // A line that could not be a job's name (empty, "..", a path) never reaches the file system.
        if (name.isEmpty() || CheckNewName(name, nullptr) == JobNameCheck::ForbiddenSymbols ||
            TrimName(name) != name || IndexOfName(name) >= 0)
            continue;
        const QString path = JobFilePath(name);
        std::unique_ptr<TJob> job = CreateJobOfKind(GetJobFileKind(path), name);
        if (!job)
            continue;
        LoadLocalJobFile(*job, path);
        jobs_.push_back(std::move(job));
    }
    return true;
}

bool TJobsCatalogue::SaveJobsList() const {
    QStringList names;
    for (const auto& job : jobs_)
        names.append(job->stJobName);
    return WriteTextFileLines(JobsListFile(), names);
}

int TJobsCatalogue::IndexOfExactName(const QString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (jobs_[i]->stJobName == name)
            return i;
    return -1;
}

int TJobsCatalogue::IndexOfName(const QString& name) const {
    for (int i = 0; i < Count(); ++i)
        if (NamesEqual(jobs_[i]->stJobName, name))
            return i;
    return -1;
}

TJob& TJobsCatalogue::Append(std::unique_ptr<TJob> job) {
    jobs_.push_back(std::move(job));
    return *jobs_.back();
}

std::unique_ptr<TJob> TJobsCatalogue::Take(int index) {
    std::unique_ptr<TJob> job = std::move(jobs_.at(index));
    jobs_.erase(jobs_.begin() + index);
    return job;
}

bool TJobsCatalogue::Swap(int first, int second) {
    if (first < 0 || second < 0 || first >= Count() || second >= Count())
        return false;
    std::swap(jobs_[first], jobs_[second]);
    SaveJobsList();
    return true;
}

bool TJobsCatalogue::MoveUp(int index) {
    return Swap(index, index - 1);
}

bool TJobsCatalogue::MoveDown(int index) {
    return Swap(index, index + 1);
}

bool TJobsCatalogue::AnyJobIsActive() const {
    return std::any_of(jobs_.begin(), jobs_.end(), [](const auto& job) {
        const TJobStatus status = job->JobStatus.load();
        return status == jsRunning || status == jsCancelling || status == jsPaused;
    });
}

} // namespace morvane
