#include "engine/backup_layout.h"

#include "formats/text_file.h"
#include "platform/paths.h"
#include "platform/special_folders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace morvane {

QString MarkerOf(TBackupType type) {
    switch (type) {
    case btFull:
        return FullMarker;
    case btInc:
        return IncrementalMarker;
    case btSync:
        return MirrorMarker;
    }
    return MirrorMarker;
}

bool TypeOfMarker(const QString& marker, TBackupType& type) {
    if (marker == FullMarker)
        type = btFull;
    else if (marker == IncrementalMarker)
        type = btInc;
    else if (marker == MirrorMarker)
        type = btSync;
    else
        return false;
    return true;
}

bool EndsFullCopy(const QString& name) {
    const qsizetype at = name.indexOf(FullMarker);
    return at >= 0 && at == name.size() - FullMarker.size();
}

bool EndsIncrementalCopy(const QString& name) {
    return name.endsWith(IncrementalMarker);
}

bool IsRunFolderName(const QString& name) {
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2};\\d{2};\\d{2} \\((Full|Incremental)\\)$"));
    return form.match(name).hasMatch();
}

namespace {

const QString CommitPrefix = QStringLiteral("commit ");

QString DigestText(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

} // namespace

bool StartFlagShowsCompletedRun(const QStringList& flagLines, const QStringList& mainBackupList,
                                const QByteArray& storageCopy) {
    if (flagLines.isEmpty())
        return false;
    if (!flagLines.first().isEmpty())
        return mainBackupList.indexOf(flagLines.first()) >= 1;
    return flagLines.size() >= 2 && !storageCopy.isEmpty() &&
           flagLines[1] == CommitPrefix + DigestText(storageCopy);
}

QStringList MirrorCommitFlag(const QByteArray& storageCopy) {
    return {QString(), CommitPrefix + DigestText(storageCopy)};
}

QString JobTempFolder(const TJob& job) {
    return JoinPath(job.JobOptions.General.PathForTempFiles, job.stJobName);
}

QString LocalJobCopy(const TJob& job) {
    return JobTempFolder(job) + JobCopyExtension;
}

QByteArray ReadLocalFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::unique_ptr<QTemporaryDir> MakePrivateTempFolder(const TJob& job) {
    QString root = job.JobOptions.General.PathForTempFiles;
    if (root.isEmpty())
        root = TempDirectory();
    QDir().mkpath(root);
    auto folder = std::make_unique<QTemporaryDir>(JoinPath(root, QStringLiteral(" private-XXXXXX")));
    return folder->isValid() ? std::move(folder) : nullptr;
}

QStringList ReadTextFileLines(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? SplitTextLines(file.readAll()) : QStringList();
}

} // namespace morvane
