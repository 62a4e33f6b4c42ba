#include "storage_test_support.h"

#include "options/options.h"

namespace morvane::testing {

QStringList LogTexts(const TJob& job) {
    QStringList texts;
    for (const QString& line : job.LastJobResult.Log) {
        const qsizetype at = line.indexOf(QStringLiteral(": "));
        texts.append(at < 0 ? line : line.mid(at + 2));
    }
    return texts;
}

int CountLines(const TJob& job, const QString& start) {
    int count = 0;
    for (const QString& text : LogTexts(job))
        count += text.startsWith(start) ? 1 : 0;
    return count;
}

void PrepareJob(TJob& job, const QString& tempRoot) {
    job.OptionsToJobOptions(DefaultOptions());
    job.JobOptions.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
    job.JobOptions.General.PathForTempFiles = tempRoot;
}

} // namespace morvane::testing
