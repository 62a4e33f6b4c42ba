#include "engine/backup_fixture.h"

#include "engine/scripted_restore_dialogs.h"
#include "formats/encryptor.h"
#include "options/options.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <utime.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane::testing {

void BackupTest::SetUp() {
    TempHomeTest::SetUp();
    SetClock(&clock);
    ASSERT_TRUE(QDir().mkpath(Source()));
    ASSERT_TRUE(QDir().mkpath(Dest()));
    TOptions& options = GlobalOptions();
    options = DefaultOptions();
    options.Processing.IfDestinationNotAvailable_Retry_Times = 0;
    options.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
    job = std::make_unique<TJob_FilesAndFolders>(u"Docs"_s);
    job->DestinationPath = Dest();
}

void BackupTest::TearDown() {
    if (job) {
        job->Cancel();
        job->WaitForWorker();
    }
    job.reset();
    SetClock(nullptr);
    TempHomeTest::TearDown();
}

QString BackupTest::Source(const QString& relative) const {
    return relative.isEmpty() ? HomePath(u"src"_s) : HomePath(u"src/"_s + relative);
}

QString BackupTest::Dest(const QString& relative) const {
    return relative.isEmpty() ? HomePath(u"dest"_s) : HomePath(u"dest/"_s + relative);
}

QString BackupTest::JobFolder(const QString& relative) const {
    const QString folder = Dest(job->stJobName);
    return relative.isEmpty() ? folder : folder + u'/' + relative;
}

void BackupTest::WriteSource(const QString& relative, const QByteArray& content, int secondsAfterBase) {
    const QString path = Source(relative);
    WriteFileBytes(path, content);
    const time_t when = 1'700'000'000 + secondsAfterBase;
    const utimbuf times{when, when};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &times), 0);
}

void BackupTest::RemoveSource(const QString& relative) {
    const QString path = Source(relative);
    if (QFileInfo(path).isDir())
        ASSERT_TRUE(QDir(path).removeRecursively());
    else
        ASSERT_TRUE(QFile::remove(path));
}

void BackupTest::RunBackup() {
    job->Backup();
    job->WaitForWorker();
    clock.AdvanceSeconds(24 * 3600);
}

void BackupTest::StartAndWaitUntilPaused() {
    job->Backup();
    for (int i = 0; i < 3000 && job->JobStatus != jsPaused && job->JobStatus != jsNone; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

QStringList BackupTest::MainBackupList() const {
    TJob_FilesAndFolders reader(job->stJobName);
    TBackupChainState chain;
    reader.LoadRemoteJobFile(JobFolder() + u".bmj"_s, false, chain);
    return chain.MainBackupList;
}

QStringList BackupTest::Subfolders() const {
    QStringList names = QDir(JobFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QStringList BackupTest::ListFile(const QString& subfolder, const QString& name) const {
    const QByteArray bytes = ReadFileBytes(JobFolder() + u'/' + subfolder + u'/' + name);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << name.toStdString();
    QString text = QString::fromUtf8(bytes.mid(3));
    EXPECT_TRUE(text.isEmpty() || text.endsWith(u"\r\n"_s)) << name.toStdString();
    QStringList lines = text.split(u"\r\n"_s);
    lines.removeLast();
    return lines;
}

QMap<QString, QByteArray> BackupTest::Restored(int point) {
    ScriptedRestoreDialogs dialogs;
    const QString out = HomePath(u"out"_s);
    EXPECT_TRUE(QDir(out).removeRecursively() && QDir().mkpath(out));
    dialogs.outputFolder = out;
    dialogs.point = point;
    job->Restore(dialogs);
    job->WaitForWorker();
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join(u'\n').toStdString();
    return TreeContents(out + u"/src"_s);
}

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 3000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

QMap<QString, QByteArray> StoredFiles(const QString& root) {
    QMap<QString, QByteArray> files = TreeContents(root);
    files.removeIf([](const auto& file) { return file.key().endsWith(u".qkl"_s); });
    return files;
}

} // namespace morvane::testing
