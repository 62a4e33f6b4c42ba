// The real morvane-imager on temporary folders: versions, archives, deletion, stop, and the output
// lines a drive-image run classifies (progress, errors, no space, busy, access denied).

#include "fixtures/temp_home.h"
#include "imager_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ImagerRun;
using testing::ReadArchiveTree;
using testing::ReadFolderTree;
using testing::RunImager;
using testing::RunShell;

QByteArray RandomBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(size);
    for (char& byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

class ImagerTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        // Stop requests are looked up in this folder; a test's own keeps parallel tests apart.
        qputenv("MORVANE_IMAGER_RUN_DIR", QFile::encodeName(HomePath(u"run"_s)));
        ASSERT_TRUE(QDir().mkpath(Target()));
    }
    void TearDown() override {
        qunsetenv("MORVANE_IMAGER_RUN_DIR");
        TempHomeTest::TearDown();
    }

    QString Target() const { return HomePath(u"target"_s); }

    QString MakeFolder(const QString& relative) {
        const QString path = HomePath(relative);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }

    // Folders, binary and empty files, a non-ASCII name, a link and a hard link.
    QString MakeSampleVolume(const QString& relative) {
        const QString root = MakeFolder(relative);
        MakeFolder(relative + u"/Documents/Tax"_s);
        MakeFolder(relative + u"/Empty folder"_s);
        testing::WriteFileBytes(root + u"/Documents/Tax/2023.pdf"_s, RandomBytes(300000));
        testing::WriteFileBytes(root + u"/Documents/Ünïcødé notes.txt"_s, "grüße\r\n");
        testing::WriteFileBytes(root + u"/empty.txt"_s, QByteArray());
        EXPECT_TRUE(QFile::link(u"Documents/Tax/2023.pdf"_s, root + u"/latest.pdf"_s));
        EXPECT_EQ(::link(QFile::encodeName(root + u"/empty.txt"_s).constData(),
                         QFile::encodeName(root + u"/also-empty.txt"_s).constData()),
                  0);
        return root;
    }

    ImagerRun Backup(const QStringList& volumes, const QString& target) {
        return RunImager({u"start"_s, u"backup"_s, u"-backupTarget:"_s + target,
                          u"-include:"_s + volumes.join(u','), u"-allCritical"_s, u"-quiet"_s});
    }
    ImagerRun Backup(const QStringList& volumes) { return Backup(volumes, Target()); }

    ImagerRun Delete(int keep) {
        return RunImager({u"delete"_s, u"backup"_s, u"-backuptarget:"_s + Target(),
                          u"-keepversions:"_s + QString::number(keep), u"-quiet"_s});
    }

    // The per-computer folder that holds the versions; empty before the first run.
    QString HostFolder() const {
        const QDir images(Target() + u"/MorvaneImageBackup"_s);
        const QStringList hosts = images.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return hosts.size() == 1 ? images.filePath(hosts.first()) : QString();
    }

    // Everything beside the versions, finished or not, and the lock; sorted by name, so oldest first.
    QStringList VersionFolders() const {
        if (HostFolder().isEmpty())
            return {};
        return QDir(HostFolder())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    QJsonObject Manifest(const QString& version) const {
        QFile file(HostFolder() + u'/' + version + u"/manifest.json"_s);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    testing::Tree VolumeArchiveTree(const QString& version, const QString& volume) {
        for (const QJsonValue item : Manifest(version)[u"volumes"_s].toArray()) {
            const QJsonObject entry = item.toObject();
            if (entry[u"path"_s].toString() == volume)
                return ReadArchiveTree(HostFolder() + u'/' + version + u'/' + entry[u"archive"_s].toString());
        }
        ADD_FAILURE() << "no archive for " << volume.toStdString();
        return {};
    }
};

TEST_F(ImagerTest, BackupWritesOneArchivePerVolumeThatRestoresItsFiles) {
    const QString system = MakeSampleVolume(u"volumes/system"_s);
    const QString data = MakeFolder(u"volumes/data"_s);
    testing::WriteFileBytes(data + u"/one.txt"_s, "one");

    const ImagerRun run = Backup({system, data});

    EXPECT_EQ(run.exitCode, 0) << run.lines.join(u'\n').toStdString();
    EXPECT_TRUE(run.ErrorLines().isEmpty()) << run.lines.join(u'\n').toStdString();
    EXPECT_TRUE(run.Has(u"The backup operation successfully completed."_s));
    const QStringList versions = VersionFolders();
    ASSERT_EQ(versions.size(), 2) << versions.join(u' ').toStdString();
    EXPECT_EQ(versions[0], u".lock");
    const QString version = versions[1];
    EXPECT_EQ(VolumeArchiveTree(version, system), ReadFolderTree(system));
    EXPECT_EQ(VolumeArchiveTree(version, data), ReadFolderTree(data));
}

TEST_F(ImagerTest, OutputLinesHaveTheFormsARunClassifies) {
    const QString source = MakeSampleVolume(u"source"_s);
    const ImagerRun run = Backup({source});
    ASSERT_EQ(run.exitCode, 0);

    // The banner carries the words that mark it as one, so it never reaches the run log.
    EXPECT_TRUE(run.lines.value(0).contains(u"Backup command-line tool"_s))
        << run.lines.value(0).toStdString();
    EXPECT_TRUE(run.lines.value(1).contains(u"Copyright"_s)) << run.lines.value(1).toStdString();
    static const QRegularExpression progress(
        u"^Creating a backup of volume (.+), copied \\((\\d+)%\\)\\.$"_s);
    QList<int> percentages;
    for (const QString& line : run.lines) {
        const QRegularExpressionMatch match = progress.match(line);
        if (match.hasMatch()) {
            EXPECT_EQ(match.captured(1), source);
            percentages.append(match.captured(2).toInt());
        }
    }
    ASSERT_FALSE(percentages.isEmpty());
    EXPECT_TRUE(std::is_sorted(percentages.begin(), percentages.end()));
    EXPECT_EQ(percentages.last(), 100);
}

TEST_F(ImagerTest, EachRunAddsAVersionAndDeleteKeepsTheNewest) {
    const QString source = MakeSampleVolume(u"source"_s);
    for (int run = 0; run < 3; ++run)
        ASSERT_EQ(Backup({source}).exitCode, 0);
    QStringList versions = VersionFolders().filter(QRegularExpression(u"^\\d"_s));
    ASSERT_EQ(versions.size(), 3);

    const struct {
        int keep;
        qsizetype left;
    } cases[] = {{5, 3}, {3, 3}, {2, 2}, {1, 1}, {0, 0}};
    for (const auto& step : cases) {
        SCOPED_TRACE(step.keep);
        const ImagerRun run = Delete(step.keep);
        EXPECT_EQ(run.exitCode, 0) << run.lines.join(u'\n').toStdString();
        EXPECT_TRUE(run.ErrorLines().isEmpty());
        EXPECT_EQ(VersionFolders().filter(QRegularExpression(u"^\\d"_s)),
                  versions.mid(versions.size() - step.left));
    }
}

TEST_F(ImagerTest, DeleteOnATargetWithoutImagesChangesNothing) {
    const ImagerRun run = Delete(0);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.Has(u"There are no backup versions on"_s));
    EXPECT_FALSE(QFileInfo::exists(Target() + u"/MorvaneImageBackup"_s));
}

TEST_F(ImagerTest, AnImageFolderInsideAVolumeIsLeftOutOfItsArchive) {
    const QString source = MakeSampleVolume(u"source"_s);
    const QString target = MakeFolder(u"source/backups"_s);
    ASSERT_EQ(Backup({source}, target).exitCode, 0);
    const ImagerRun second = Backup({source}, target);
    ASSERT_EQ(second.exitCode, 0);

    const QString versionPath =
        second.lines.filter(u"The image version is in "_s).value(0).mid(24).chopped(1); // "...in <path>."
    const testing::Tree archived = ReadArchiveTree(versionPath + u"/volume-1.tar.zst"_s);
    EXPECT_EQ(archived.at("./backups"), (testing::TreeEntry{'d', {}}));
    for (const auto& [name, entry] : archived)
        EXPECT_FALSE(name.starts_with("./backups/")) << name;
}

TEST_F(ImagerTest, LeftoversOfAnInterruptedRunAreRemovedByTheNextOne) {
    const QString source = MakeSampleVolume(u"source"_s);
    ASSERT_EQ(Backup({source}).exitCode, 0);
    const QString stale = HostFolder() + u"/2020-01-01T00-00-00.000Z.partial"_s;
    MakeFolder(QDir(HomePath(QString())).relativeFilePath(stale));
    testing::WriteFileBytes(stale + u"/volume-1.tar.zst"_s, "cut short");

    EXPECT_EQ(Delete(5).exitCode, 0);

    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_EQ(VersionFolders().filter(QRegularExpression(u"^\\d"_s)).size(), 1);
}

TEST_F(ImagerTest, StopEndsARunningBackupAndRemovesItsUnfinishedVersion) {
    // A large sparse file takes long to read whole, yet costs no space.
    const QString source = MakeFolder(u"source"_s);
    {
        QFile big(source + u"/disk.img"_s);
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(qint64(64) << 30));
    }
    QProcess backup;
    backup.start(
        QStringLiteral(MORVANE_IMAGER_PATH),
        {u"start"_s, u"backup"_s, u"-backupTarget:"_s + Target(), u"-include:"_s + source, u"-quiet"_s});
    QByteArray output;
    while (!output.contains(", copied (") && backup.waitForReadyRead(30000))
        output += backup.readAllStandardOutput();
    ASSERT_TRUE(output.contains(", copied (")) << output.toStdString();

    const ImagerRun stop = RunImager({u"stop"_s, u"job"_s, u"-quiet"_s});

    EXPECT_EQ(stop.exitCode, 0) << stop.lines.join(u'\n').toStdString();
    EXPECT_TRUE(stop.Has(u"The backup operation was stopped."_s));
    ASSERT_TRUE(backup.waitForFinished(60000));
    output += backup.readAllStandardOutput();
    EXPECT_EQ(backup.exitCode(), 6);
    EXPECT_TRUE(output.contains("The backup operation was stopped before it completed"))
        << output.toStdString();
    EXPECT_FALSE(output.contains("ERROR"));
    EXPECT_EQ(VersionFolders(), QStringList{u".lock"_s});
    EXPECT_TRUE(QDir(HomePath(u"run"_s)).isEmpty());
    EXPECT_TRUE(
        RunImager({u"stop"_s, u"job"_s, u"-quiet"_s}).Has(u"There is no backup operation in progress."_s));
}

TEST_F(ImagerTest, ARunFolderOthersCanWriteIsNeitherUsedNorBelieved) {
    // Its entries name the processes "stop job" signals; one planted there must not be signalled.
    const QString runFolder = MakeFolder(u"run"_s);
    ASSERT_TRUE(QFile::setPermissions(runFolder, QFile::Permissions(0x7777)));
    testing::WriteFileBytes(runFolder + u"/1.run"_s, "1\n/\n");
    const QString source = MakeFolder(u"source"_s);

    const ImagerRun stop = RunImager({u"stop"_s, u"job"_s, u"-quiet"_s});
    EXPECT_EQ(stop.exitCode, 1);
    EXPECT_TRUE(stop.Has(u"can be changed by other users; no backup is stopped."_s))
        << stop.lines.join(u'\n').toStdString();

    const ImagerRun backup = Backup({source});
    EXPECT_EQ(backup.exitCode, 1);
    EXPECT_TRUE(backup.Has(u"cannot be registered in"_s)) << backup.lines.join(u'\n').toStdString();
    EXPECT_TRUE(VersionFolders().filter(QRegularExpression(u"^\\d"_s)).isEmpty());
}

TEST_F(ImagerTest, AVolumeThatCannotBeReadGivesAnErrorLineAndNoVersion) {
    const QString good = MakeSampleVolume(u"good"_s);
    testing::WriteFileBytes(HomePath(u"a-file"_s), "not a folder");
    const struct {
        QString volume;
        QString says;
    } cases[] = {
        {HomePath(u"missing"_s), u"cannot be read: No such file or directory"_s},
        {HomePath(u"a-file"_s), u"cannot be read: Not a directory"_s},
        {u"C:"_s, u"is a drive letter"_s},
        {u"relative/folder"_s, u"is not an absolute folder path"_s},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.volume.toStdString());
        const ImagerRun run = Backup({good, item.volume});
        EXPECT_EQ(run.exitCode, 1);
        const QStringList errors = run.ErrorLines();
        ASSERT_EQ(errors.size(), 1) << run.lines.join(u'\n').toStdString();
        EXPECT_TRUE(errors[0].startsWith(u"ERROR The volume "_s + item.volume + u' '))
            << errors[0].toStdString();
        EXPECT_TRUE(errors[0].contains(item.says)) << errors[0].toStdString();
        EXPECT_TRUE(VersionFolders().filter(QRegularExpression(u"^\\d"_s)).isEmpty());
    }
}

TEST_F(ImagerTest, AHeldTargetGivesTheBusyLineAndIsLeftAlone) {
    const QString source = MakeSampleVolume(u"source"_s);
    ASSERT_EQ(Backup({source}).exitCode, 0);
    const int lock = ::open(QFile::encodeName(HostFolder() + u"/.lock"_s).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);

    for (const ImagerRun& run : {Backup({source}), Delete(0)}) {
        EXPECT_EQ(run.exitCode, 4);
        EXPECT_TRUE(run.Has(u"Another backup or recovery operation is in progress"_s))
            << run.lines.join(u'\n').toStdString();
        EXPECT_TRUE(run.ErrorLines().isEmpty());
    }
    EXPECT_EQ(VersionFolders().filter(QRegularExpression(u"^\\d"_s)).size(), 1);

    ::close(lock);
    EXPECT_EQ(Backup({source}).exitCode, 0);
}

TEST_F(ImagerTest, WrongCommandLinesAreRefusedWithAClearMessage) {
    const QString source = MakeFolder(u"source"_s);
    const QString target = u"-backupTarget:"_s + Target();
    const QString include = u"-include:"_s + source;
    const struct {
        QStringList arguments;
        QString says;
    } cases[] = {
        {{}, u"A command is missing."_s},
        {{u"start"_s, u"restore"_s}, u"The command \"start restore\" is not known."_s},
        {{u"start"_s, u"backup"_s, include, u"-quiet"_s}, u"The option -backuptarget is missing."_s},
        {{u"start"_s, u"backup"_s, target}, u"The option -include is missing."_s},
        {{u"start"_s, u"backup"_s, target, include, u"-vssFull"_s}, u"The option -vssfull is not known"_s},
        {{u"start"_s, u"backup"_s, target, include, include},
         u"The option -include is given more than once."_s},
        {{u"start"_s, u"backup"_s, target, include, u"-quiet:yes"_s}, u"The option -quiet takes no value."_s},
        {{u"start"_s, u"backup"_s, target, u"-include:"_s}, u"The option -include needs a value"_s},
        {{u"start"_s, u"backup"_s, target, u"-include:"_s + source + u",,"_s}, u"has an empty entry"_s},
        {{u"start"_s, u"backup"_s, target, include, u"stray"_s}, u"Argument 5 is not an option"_s},
        {{u"delete"_s, u"backup"_s, target, u"-keepversions:x"_s}, u"must be a whole number of 0 or more"_s},
        {{u"delete"_s, u"backup"_s, target, u"-keepversions:-1"_s}, u"must be a whole number of 0 or more"_s},
        {{u"stop"_s, u"job"_s, include}, u"The option -include is not known to \"stop job\"."_s},
        {{u"start"_s, u"backup"_s, target, include, u"-user:ann"_s, u"-password:s3cret"_s},
         u"The options -user and -password are for network storage only."_s},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.arguments.join(u' ').toStdString());
        const ImagerRun run = RunImager(item.arguments);
        EXPECT_EQ(run.exitCode, 2);
        ASSERT_EQ(run.ErrorLines().size(), 1) << run.lines.join(u'\n').toStdString();
        EXPECT_TRUE(run.ErrorLines()[0].contains(item.says)) << run.ErrorLines()[0].toStdString();
        EXPECT_FALSE(run.Has(u"s3cret"_s));
    }
    EXPECT_TRUE(QDir(Target()).isEmpty());
}

TEST_F(ImagerTest, TargetsThatAreNoLocalFolderAreRefused) {
    const QString source = MakeFolder(u"source"_s);
    testing::WriteFileBytes(HomePath(u"a-file"_s), "x");
    const struct {
        QString target;
        QString says;
    } cases[] = {
        {u"\"\\\\server\\share\\images\""_s, u"\\\\server\\share\\images is a network share"_s},
        {u"//server/share"_s, u"is a network share"_s},
        {u"smb://server/share"_s, u"is a network share"_s},
        {u"E:"_s, u"is a drive letter"_s},
        {u"images"_s, u"is not an absolute folder path"_s},
        {HomePath(u"missing"_s), u"cannot be found"_s},
        {HomePath(u"a-file"_s), u"is not a folder"_s},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.target.toStdString());
        for (const QString& verb : {u"start"_s, u"delete"_s}) {
            const QString last = verb == u"start"_s ? u"-include:"_s + source : u"-keepversions:1"_s;
            const ImagerRun run = RunImager({verb, u"backup"_s, u"-backupTarget:"_s + item.target, last});
            EXPECT_EQ(run.exitCode, 1);
            ASSERT_EQ(run.ErrorLines().size(), 1) << run.lines.join(u'\n').toStdString();
            EXPECT_TRUE(run.ErrorLines()[0].contains(item.says)) << run.ErrorLines()[0].toStdString();
        }
    }
}

TEST_F(ImagerTest, ALinkInPlaceOfTheImageFolderIsNeverFollowed) {
    const QString source = MakeSampleVolume(u"source"_s);
    const QString elsewhere = MakeFolder(u"elsewhere"_s);
    ASSERT_TRUE(QFile::link(elsewhere, Target() + u"/MorvaneImageBackup"_s));

    const ImagerRun run = Backup({source});

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.ErrorLines().size(), 1) << run.lines.join(u'\n').toStdString();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST_F(ImagerTest, WithoutRootTheToolRefusesWithTheAccessDeniedLine) {
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
    if (::geteuid() != 0 || setpriv.isEmpty())
        GTEST_SKIP() << "needs root and setpriv to run the tool as another user";
    const QString source = MakeFolder(u"source"_s);
    QProcess process;
    process.start(setpriv, {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                            QStringLiteral(MORVANE_IMAGER_PATH), u"start"_s, u"backup"_s,
                            u"-backupTarget:"_s + Target(), u"-include:"_s + source, u"-quiet"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    // setpriv's own codes for "could not run the program": the build folder is closed to other users.
    if (process.exitCode() == 126 || process.exitCode() == 127)
        GTEST_SKIP() << "the tool cannot be run as another user from this build folder";
    EXPECT_EQ(process.exitCode(), 3) << output.toStdString();
    EXPECT_TRUE(output.contains(u"Access denied. You must be a member"_s)) << output.toStdString();
    EXPECT_TRUE(QDir(Target()).isEmpty());
}

// Mounting needs a private mount namespace; the mounts vanish with the shell that made them.
class ImagerMountTest : public ImagerTest {
protected:
    void SetUp() override {
        ImagerTest::SetUp();
        if (RunShell(u"unshare --mount sh -c 'mount -t tmpfs none \"$0\"' "_s + Quoted(Target())).exitCode !=
            0)
            GTEST_SKIP() << "mounting in a private mount namespace is not allowed here";
    }

    static QString Quoted(const QString& path) { return u"'"_s + path + u"'"_s; }
};

TEST_F(ImagerMountTest, ABackupStaysOnTheVolumeItWasGiven) {
    const QString source = MakeSampleVolume(u"source"_s);
    const QString mountPoint = MakeFolder(u"source/mounted"_s);
    const ImagerRun run = RunShell(
        u"unshare --mount sh -c 'mount -t tmpfs none \"$1\" && echo inside > \"$1/file\" && "
        u"exec \"$IMAGER\" start backup -backupTarget:\"$2\" -include:\"$0\" -allCritical -quiet' "_s +
        Quoted(source) + u' ' + Quoted(mountPoint) + u' ' + Quoted(Target()));

    ASSERT_EQ(run.exitCode, 0) << run.lines.join(u'\n').toStdString();
    const QString version = VersionFolders().filter(QRegularExpression(u"^\\d"_s)).value(0);
    // The mount point itself is kept, so a restore recreates it; what is mounted there is not.
    EXPECT_EQ(VolumeArchiveTree(version, source), ReadFolderTree(source));
}

TEST_F(ImagerMountTest, AFullTargetGivesTheNoSpaceLineAndKeepsNoUnfinishedVersion) {
    const QString source = MakeFolder(u"source"_s);
    testing::WriteFileBytes(source + u"/random.bin"_s, RandomBytes(4 << 20));
    const ImagerRun run = RunShell(
        u"unshare --mount sh -c 'mount -t tmpfs -o size=1m none \"$1\" && "
        u"\"$IMAGER\" start backup -backupTarget:\"$1\" -include:\"$0\" -allCritical -quiet; code=$?; "
        u"echo left: $(ls -A \"$1\"/MorvaneImageBackup/*); exit $code' "_s +
        Quoted(source) + u' ' + Quoted(Target()));

    EXPECT_EQ(run.exitCode, 5);
    EXPECT_TRUE(run.Has(u"There is not enough free space on the backup storage location"_s))
        << run.lines.join(u'\n').toStdString();
    EXPECT_TRUE(run.ErrorLines().isEmpty()) << run.lines.join(u'\n').toStdString();
    EXPECT_EQ(run.lines.last(), u"left: .lock");
}

} // namespace
} // namespace morvane
