#pragma once

#include "jobs/job.h"

#include <QString>
#include <QStringList>

namespace morvane::testing {

// The texts of a job's run-log lines, without their time-of-day prefix.
QStringList LogTexts(const TJob& job);
// How many run-log lines begin with the text.
int CountLines(const TJob& job, const QString& start);
// A job with default options whose retries do not wait and whose temporary folder is `tempRoot`.
void PrepareJob(TJob& job, const QString& tempRoot);

} // namespace morvane::testing
