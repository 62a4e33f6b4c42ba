// The real morvane-cli backing up to and restoring from a share of the test Samba server.

#include "cli/cli_job_fixture.h"
#include "fixtures/samba_server.h"
#include "platform/file_names.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::TreeContents;
using testing::WriteFileBytes;

class CliSmbTest : public testing::CliJobTest {
protected:
    void SetUp() override {
        CliJobTest::SetUp();
        // In a sanitizer build the tool itself reports the SMB client library's own leak of its log
        // file name at exit, which the test programs suppress for themselves; pass that on.
        const QString suppressions = HomePath(u"lsan-suppressions.txt"_s);
        WriteFileBytes(suppressions, "leak:libtalloc.so\n");
        previousLsanOptions = qgetenv("LSAN_OPTIONS");
        qputenv("LSAN_OPTIONS", previousLsanOptions + ":suppressions=" + QFile::encodeName(suppressions));
    }
    void TearDown() override {
        if (!folder.isEmpty())
            QDir(Served()).removeRecursively();
        if (previousLsanOptions.isEmpty())
            qunsetenv("LSAN_OPTIONS");
        else
            qputenv("LSAN_OPTIONS", previousLsanOptions);
        CliJobTest::TearDown();
    }
    // The test's folder as the server's own file system holds it.
    QString Served(const QString& relative = QString()) const {
        const QString root = server->ShareFolder() + u'/' + folder;
        return relative.isEmpty() ? root : root + u'/' + relative;
    }

    testing::SambaServer* server = nullptr;
    QString folder;
    QByteArray previousLsanOptions;
};

TEST_F(CliSmbTest, BackupChainToAShareRestoresEachPoint) {
    server = testing::SambaServer::Shared();
    if (!server)
        GTEST_SKIP() << "Samba server unavailable: " << testing::SambaServer::StartFailure().toStdString();
    folder = u"cli-"_s + QString::number(QRandomGenerator::global()->generate());
    ASSERT_TRUE(QDir().mkpath(Served(u"backups"_s))); // a destination folder must exist

    QByteArray large(3 * 1024 * 1024 + 5, '\0');
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 7919) >> 5);
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a1");
    WriteFileBytes(Src(u"Docs/Sub/large.bin"_s), large);
    WriteFileBytes(Src(u"Docs/Sub/Deeper/.hidden"_s), "h");
    WriteFileBytes(Src(u"Docs/Sub/empty.txt"_s), "");
    const QString dest = u"//"_s + server->Host() + u'/' + server->Share() + u'/' + folder + u"/backups"_s;
    const QByteArray password = server->Password().toUtf8();
    testing::CliRun run = Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, dest,
                              u"--user"_s, server->User(), u"--password-stdin"_s},
                             password + '\n');
    ASSERT_EQ(run.exitCode, 0);

    QList<QMap<QString, QByteArray>> states;
    Backup(u"Docs"_s); // full
    states.append(TreeContents(Src()));
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a2, changed");
    ASSERT_TRUE(QFile::remove(Src(u"Docs/Sub/Deeper/.hidden"_s)));
    WriteFileBytes(Src(u"Docs/new.txt"_s), "new");
    Backup(u"Docs"_s); // incremental
    states.append(TreeContents(Src()));

    // The layout arrived on the share: the job copy beside the job folder, one folder per run.
    EXPECT_TRUE(QFile::exists(Served(u"backups/Docs.bmj"_s)));
    const QStringList runs =
        QDir(Served(u"backups/Docs"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    ASSERT_EQ(runs.size(), 2);
    EXPECT_TRUE(runs[0].endsWith(u"(Full)"_s) && runs[1].endsWith(u"(Incremental)"_s));
    EXPECT_EQ(testing::ReadFileBytes(Served(u"backups/Docs/"_s + runs[0] + u"/Docs/Sub/large.bin"_s)), large);
    EXPECT_FALSE(QFile::exists(Served(u"backups/Docs/_startflag.qkl"_s)));

    const QStringList points = Ok({u"points"_s, u"Docs"_s}).out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(points.size(), 2);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i + 1);
        FreshOutput();
        run = Run({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--point"_s, QString::number(i + 1)});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(u"Restore job \"Docs\" is finished."_s)) << run.out.toStdString();
        EXPECT_EQ(TreeContents(Out()), states[i]);
    }

    // The password reaches the server but no log, history or output of the tool.
    const QString log = Ok({u"log"_s, u"Docs"_s}).out + Ok({u"history"_s, u"Docs"_s}).out +
                        Ok({u"show"_s, u"Docs"_s, u"--json"_s}).out + run.out + run.err;
    EXPECT_FALSE(log.contains(server->Password()));

    // A folder another installation's job has taken meanwhile is refused until it is imported back.
    EXPECT_TRUE(QFile::exists(Served(u"backups/Docs/_owner.qkl"_s)));
    WriteFileBytes(Served(u"backups/Docs/_owner.qkl"_s), "\xEF\xBB\xBF"
                                                         "00000000-0000-4000-8000-000000000001\r\n");
    run = Run({u"points"_s, u"Docs"_s});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"belongs to a job of another user or computer"_s)) << run.err.toStdString();
    Ok({u"remove"_s, u"Docs"_s});
    run = Run({u"import"_s, dest + u"/Docs.bmj"_s, u"--user"_s, server->User(), u"--password-stdin"_s},
              password + '\n');
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    const QByteArray identity = testing::ReadFileBytes(AppDir() + u"/installation.id"_s).trimmed();
    EXPECT_EQ(testing::ReadFileBytes(Served(u"backups/Docs/_owner.qkl"_s)),
              QByteArray("\xEF\xBB\xBF" + identity + "\r\n"));
    EXPECT_EQ(Ok({u"points"_s, u"Docs"_s}).out.count(u'\n'), 2);
}

// Links travel to a share as small files holding their targets and come back as links. A share names
// files in Unicode, so a name whose bytes are not UTF-8 is left out with one error line, and the rest
// goes on.
TEST_F(CliSmbTest, LinksMakeTheRoundTripAndANameTheShareCannotHoldIsLeftOut) {
    server = testing::SambaServer::Shared();
    if (!server)
        GTEST_SKIP() << "Samba server unavailable: " << testing::SambaServer::StartFailure().toStdString();
    folder = u"cli-"_s + QString::number(QRandomGenerator::global()->generate());
    ASSERT_TRUE(QDir().mkpath(Served(u"backups"_s)));
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    const QByteArray docs = NameToBytes(Src(u"Docs"_s));
    ASSERT_EQ(::symlink("a.txt", QByteArray(docs + "/link").constData()), 0);
    ASSERT_EQ(::symlink("/nowhere\n", QByteArray(docs + "/dangling").constData()), 0);
    const QByteArray bad = docs + "/bad\xFF.txt";
    const int fd = ::open(bad.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const QString dest = u"//"_s + server->Host() + u'/' + server->Share() + u'/' + folder + u"/backups"_s;
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, dest, u"--user"_s, server->User(),
        u"--password-stdin"_s},
       server->Password().toUtf8() + '\n');

    const testing::CliRun backup = Run({u"backup"_s, u"Docs"_s});
    EXPECT_EQ(backup.exitCode, 1);
    const QString log = Ok({u"log"_s, u"Docs"_s}).out;
    EXPECT_EQ(log.count(u"The name cannot be stored on the backup storage:"_s), 1) << log.toStdString();
    EXPECT_FALSE(log.contains(u"Retry after"_s));
    ASSERT_EQ(::unlink(bad.constData()), 0);

    FreshOutput();
    Ok({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--latest"_s});
    EXPECT_EQ(
        QDir(Out(u"Docs"_s)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{u"a.txt"_s, u"dangling"_s, u"link"_s}));
    EXPECT_EQ(testing::ReadFileBytes(Out(u"Docs/a.txt"_s)), "a");
    EXPECT_EQ(QFile::symLinkTarget(Out(u"Docs/link"_s)), Out(u"Docs/a.txt"_s));
    char target[64] = {};
    EXPECT_EQ(::readlink(NameToBytes(Out(u"Docs/dangling"_s)).constData(), target, sizeof target), 9);
    EXPECT_STREQ(target, "/nowhere\n");
}

// The file the dynamic loader opened for the client library, read from its LD_DEBUG=libs trace.
QString LoadedClientLibrary(const QString& trace) {
    static const QRegularExpression init(uR"(calling init: (\S*/libsmbclient\.so[.0-9]*))"_s);
    return init.match(trace).captured(1);
}

// The client library and the many libraries it needs are loaded only when a job reaches a share; without
// it a share gives a clear error and everything else works.
TEST_F(CliSmbTest, TheClientLibraryIsLoadedOnlyForAShare) {
    WriteFileBytes(Src(u"a.txt"_s), "a");
    Ok({u"new"_s, u"Local"_s, u"--source"_s, Src(), u"--dest"_s, Dest()});
    Ok({u"new"_s, u"Share"_s, u"--source"_s, Src(), u"--dest"_s, u"//127.0.0.1/none/backups"_s});
    QProcessEnvironment traced = QProcessEnvironment::systemEnvironment();
    traced.insert(u"LD_DEBUG"_s, u"libs"_s);
    struct Case {
        QStringList arguments;
        bool loads;
    };
    const Case cases[] = {
        {{u"list"_s}, false},
        {{u"backup"_s, u"Local"_s}, false},
        {{u"points"_s, u"Local"_s}, false},
        {{u"points"_s, u"Share"_s}, true},
    };
    QString library;
    for (const Case& c : cases) {
        const testing::CliRun run = RunIn(traced, c.arguments);
        EXPECT_EQ(run.err.contains(u"libsmbclient"_s), c.loads) << c.arguments.join(u' ').toStdString();
        if (c.loads)
            library = LoadedClientLibrary(run.err);
    }

    // The library hidden in a mount namespace of this run alone.
    ASSERT_FALSE(library.isEmpty());
    QProcess hidden;
    hidden.start(u"unshare"_s,
                 {u"-m"_s, u"sh"_s, u"-c"_s, u"mount --bind /dev/null \"$1\" && shift && exec \"$@\""_s,
                  u"sh"_s, library, QStringLiteral(MORVANE_CLI_PATH), u"points"_s, u"Share"_s});
    ASSERT_TRUE(hidden.waitForFinished(60000));
    const QString err = QString::fromUtf8(hidden.readAllStandardError());
    if (err.contains(u"unshare:"_s) || err.contains(u"mount:"_s))
        GTEST_SKIP() << "no private mount namespace here: " << err.toStdString();
    EXPECT_NE(hidden.exitCode(), 0);
    EXPECT_TRUE(err.contains(u"The SMB client library (libsmbclient.so.0) is not installed"_s) ||
                QString::fromUtf8(hidden.readAllStandardOutput())
                    .contains(u"The SMB client library (libsmbclient.so.0) is not installed"_s))
        << err.toStdString();
}

} // namespace
} // namespace morvane
