// The jobs list: one job name a line, each naming a job file beside it. Two job files exist, so lines
// that name them load jobs. What loads must keep its job files inside the application directory, and
// the list saved from it must load again as the same jobs in the same order.

#include "core/jobs_catalogue.h"
#include "fuzz_support.h"
#include "jobs/job_file.h"
#include "platform/paths.h"

#include <QDir>
#include <QFileInfo>

namespace {

using namespace morvane;
using namespace morvane::fuzz;

QString ApplicationDirectory() {
    static const QString directory = [] {
        const QString path = JoinPath(ScratchFolder(), QStringLiteral("app"));
        Require(QDir().mkpath(path));
        TJob_FilesAndFolders files(QStringLiteral("Docs"));
        Require(files.SaveLocalJobFile(LocalJobFilePath(path, files.stJobName)));
        TJob_DriveImage drive(QStringLiteral("System"));
        Require(drive.SaveLocalJobFile(LocalJobFilePath(path, drive.stJobName)));
        return path;
    }();
    return directory;
}

QStringList NamesOf(const TJobsCatalogue& catalogue) {
    QStringList names;
    for (int i = 0; i < catalogue.Count(); ++i)
        names.append(catalogue.At(i).stJobName);
    return names;
}

void CheckJobFilesStayInside(const TJobsCatalogue& catalogue) {
    const QString directory = QDir::cleanPath(ApplicationDirectory());
    for (int i = 0; i < catalogue.Count(); ++i) {
        const QString file = QDir::cleanPath(catalogue.JobFilePath(catalogue.At(i).stJobName));
        Require(QFileInfo(file).path() == directory);
    }
}

// Every name loaded could also have been typed for a new job next to the others.
void CheckNamesAreValid(const TJobsCatalogue& catalogue) {
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TJob& job = catalogue.At(i);
        QString trimmed;
        Require(catalogue.CheckNewName(job.stJobName, &trimmed, &job) == JobNameCheck::Ok);
        Require(trimmed == job.stJobName);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    TJobsCatalogue catalogue(ApplicationDirectory());
    WriteScratchFile(QStringLiteral("app/jobslist.qkl"), InputBytes(data, size));
    if (catalogue.LoadJobsListAndJobs()) {
        CheckJobFilesStayInside(catalogue);
        CheckNamesAreValid(catalogue);
        Require(catalogue.SaveJobsList());
        TJobsCatalogue again(ApplicationDirectory());
        Require(again.LoadJobsListAndJobs());
        Require(NamesOf(again) == NamesOf(catalogue));
    }
    DropPendingEvents();
    return 0;
}
