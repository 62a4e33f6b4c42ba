#pragma once

#include "fixtures/temp_home.h"
#include "jobs/job.h"

#include <QDateTime>
#include <QStringList>

#include <functional>
#include <memory>

namespace morvane::testing {

// A source tree, a destination folder and a files-and-folders job between them; runs backups to their
// end on the job's worker thread and reads back what they left on the storage.
class BackupTest : public TempHomeTest {
protected:
    void SetUp() override;
    void TearDown() override;

    QString Source(const QString& relative = QString()) const;
    QString Dest(const QString& relative = QString()) const;
    // The job folder on the storage, or a path inside it.
    QString JobFolder(const QString& relative = QString()) const;

    // Writes a source file with the given content and last-write time (seconds after a fixed moment).
    void WriteSource(const QString& relative, const QByteArray& content, int secondsAfterBase = 0);
    void RemoveSource(const QString& relative);

    // Runs a backup to its end; the fake clock moves on a day afterwards so each run gets its own name.
    void RunBackup();
    // Starts a backup and waits until the run is paused (or has ended).
    void StartAndWaitUntilPaused();
    void Resume() { job->JobStatus = jsRunning; }

    // The storage copy of the job file's backup list (marker first).
    QStringList MainBackupList() const;
    // Subfolders of the job folder, sorted.
    QStringList Subfolders() const;
    QStringList ListFile(const QString& subfolder, const QString& name) const;
    QString LogText() const { return job->LastJobResult.Log.join(u'\n'); }
    // Restores a point (0 is the oldest) into a new folder and returns what it gave back of the source.
    QMap<QString, QByteArray> Restored(int point);

    FakeClock clock{QDateTime(QDate(2024, 3, 5), QTime(21, 30, 0))};
    std::unique_ptr<TJob_FilesAndFolders> job;
};

// Polls `condition` for up to 30 s; its last value.
bool WaitUntil(const std::function<bool()>& condition);

// Files below a storage folder (relative path -> content), the program's own list files left out.
QMap<QString, QByteArray> StoredFiles(const QString& root);

} // namespace morvane::testing
