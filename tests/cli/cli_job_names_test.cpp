// The real morvane-cli renaming and duplicating jobs.

#include "cli/cli_job_fixture.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;
using testing::WriteFileBytes;

class CliJobNamesTest : public testing::CliJobTest {};

TEST_F(CliJobNamesTest, RenameTakesTheBackupsAlong) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    Backup(u"Docs"_s);

    CliRun run = Ok({u"rename"_s, u"Docs"_s, u"Papers"_s});
    EXPECT_TRUE(run.out.contains(u"Job \"Docs\" is renamed to \"Papers\"."_s)) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(u"Renamed: "_s + Dest(u"Docs"_s) + u" -> "_s + Dest(u"Papers"_s)))
        << run.out.toStdString();
    EXPECT_FALSE(QDir(Dest(u"Docs"_s)).exists());
    EXPECT_TRUE(QFile::exists(Dest(u"Papers.bmj"_s)));
    EXPECT_TRUE(QFile::exists(AppDir() + u"/Papers.qkd"_s));
    EXPECT_FALSE(QFile::exists(AppDir() + u"/Docs.qkd"_s));
    // The chain goes on under the new name.
    Backup(u"Papers"_s);
    EXPECT_EQ(PointFolders(u"Papers"_s).size(), 2);
    EXPECT_EQ(Ok({u"points"_s, u"Papers"_s}).out.count(u'\n'), 2);

    Ok({u"new"_s, u"Other"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    struct Case {
        QStringList arguments;
        int exitCode;
        QString message;
    };
    const Case failures[] = {
        {{u"rename"_s, u"Papers"_s, u"papers"_s}, 1, u"Job \"papers\" already exists."_s},
        {{u"rename"_s, u"Papers"_s, u"other"_s}, 1, u"Job \"other\" already exists."_s},
        {{u"rename"_s, u"Papers"_s, u"a?b"_s}, 1, u"The following symbols are not allowed in the title:"_s},
        {{u"rename"_s, u"Nope"_s, u"X"_s}, 2, u"Job \"Nope\" is not found."_s},
        {{u"rename"_s, u"Papers"_s}, 64, u"rename: wrong number of arguments."_s},
    };
    for (const Case& c : failures) {
        const CliRun failed = Run(c.arguments);
        EXPECT_EQ(failed.exitCode, c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(failed.err.contains(c.message)) << failed.err.toStdString();
    }
    EXPECT_TRUE(QFile::exists(Dest(u"Papers.bmj"_s)));

    // A storage that cannot take the new name leaves the job as it was.
    ASSERT_TRUE(QDir().mkpath(Dest(u"Letters/kept"_s)));
    run = Run({u"rename"_s, u"Papers"_s, u"Letters"_s});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"Not renamed: "_s + Dest(u"Papers"_s) + u" -> "_s + Dest(u"Letters"_s)))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"Unable to rename the job."_s)) << run.err.toStdString();
    EXPECT_TRUE(QFile::exists(AppDir() + u"/Papers.qkd"_s));
}

TEST_F(CliJobNamesTest, DuplicateTakesTheNextFreeName) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest(), u"--keep"_s, u"4"_s});
    Backup(u"Docs"_s);

    EXPECT_TRUE(Ok({u"duplicate"_s, u"Docs"_s}).out.contains(u"Created new job: \"Docs (Duplicated)\"."_s));
    EXPECT_TRUE(Ok({u"duplicate"_s, u"docs"_s}).out.contains(u"Created new job: \"Docs (Duplicated 2)\"."_s));
    EXPECT_TRUE(Ok({u"duplicate"_s, u"Docs"_s, u"Copy"_s}).out.contains(u"Created new job: \"Copy\"."_s));
    const CliRun taken = Run({u"duplicate"_s, u"Docs"_s, u"copy"_s});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_TRUE(taken.err.contains(u"Job \"copy\" already exists."_s)) << taken.err.toStdString();
    EXPECT_EQ(Run({u"duplicate"_s, u"Nope"_s}).exitCode, 2);

    const QJsonObject source = Show(u"Docs"_s);
    const QJsonObject copy = Show(u"Docs (Duplicated)"_s);
    EXPECT_EQ(copy[u"Settings"_s], source[u"Settings"_s]);
    EXPECT_EQ(copy[u"DestinationPath"_s], source[u"DestinationPath"_s]);
    EXPECT_EQ(Ok({u"list"_s}).out.count(u'\n'), 4);
    // The copy has no backups of its own until it runs.
    EXPECT_FALSE(QDir(Dest(u"Copy"_s)).exists());
    Backup(u"Copy"_s);
    EXPECT_EQ(PointFolders(u"Copy"_s).size(), 1);
    EXPECT_EQ(PointFolders(u"Docs"_s).size(), 1);
}

} // namespace
} // namespace morvane
