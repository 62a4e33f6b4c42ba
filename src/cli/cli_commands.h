#pragma once

#include <QStringList>

namespace morvane {

class TJobsCatalogue;
class TCliArguments;

// Exit statuses of the command-line tool.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUnknownJob = 2;
inline constexpr int ExitCancelled = 2; // a run cancelled, or one that could not start
inline constexpr int ExitUsage = 64;

// Runs one command (arguments without the program name); prints to stdout and stderr.
int RunCli(const QStringList& arguments);

// The commands that manage jobs (cli_job_commands.cpp).
int NewJob(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int ImportJob(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int RemoveJob(TJobsCatalogue& catalogue, const TCliArguments& arguments);
// duplicate NAME [NEW]: without NEW the next free "NAME (Duplicated)".
int DuplicateJobCommand(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int RenameJobCommand(TJobsCatalogue& catalogue, const TCliArguments& arguments);

// The commands that run jobs or read their records (cli_run_commands.cpp).
int BackupJob(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int ListRestorePoints(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int RestoreJob(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int PrintRunLog(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int PrintHistory(TJobsCatalogue& catalogue, const TCliArguments& arguments);

// The commands of scheduled work (cli_scheduler_commands.cpp).
int ScheduleJob(TJobsCatalogue& catalogue, const TCliArguments& arguments);
int RunScheduler(TJobsCatalogue& catalogue, const TCliArguments& arguments);

} // namespace morvane
