#pragma once

#include <QString>

#include <atomic>

namespace morvane {

inline constexpr char16_t ApplicationTitle[] = u"Morvane Backup";
inline constexpr char16_t ApplicationVersion[] = u"2.3";

// Program-wide state, one instance per process. The paths are set once at start-up, before any
// worker thread exists, and only read afterwards; the flags are read by workers without a lock.
// The application title without blanks + "Tmp": the name of the default temporary folder.
QString MakeTempFolderName();

struct ProgramState {
    QString ApplicationDirectory;       // options, jobs list and job files
    QString CommonApplicationDirectory; // created at start, nothing is stored there
    QString TempFolderName = MakeTempFolderName();
    std::atomic<bool> ClosingRequested{false};
    std::atomic<bool> StartedElevated{false};
};

ProgramState& Program();

// Fills the two application directories from the user's folders (no folder is created).
void InitProgramPaths();

// True on the thread that runs the user interface (the process's main thread).
bool IsUserInterfaceThread();

} // namespace morvane
