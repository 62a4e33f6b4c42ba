#include "image/imaging_output.h"

#include "fixtures/temp_home.h"
#include "jobs/job.h"
#include "platform/date_time.h"

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class ImagingOutputTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        SetClock(&clock_);
        TOptions options;
        options.Language.iLanguage = 1;
        options.Language.Translations = {
            {u"English"_s, u"en"_s, u"ERROR:"_s,
             u"For system backup you must run the application as admin."_s},
            {u"Deutsch"_s, u"de"_s, u"FEHLER:"_s, u"Als Administrator starten."_s}};
        job_.OptionsToJobOptions(options);
    }
    void TearDown() override {
        SetClock(nullptr);
        TempHomeTest::TearDown();
    }

    QString Timed(const QString& text) const {
        return LongTimeText(clock_.CurrentDateTime().time()) + u": "_s + text;
    }
    void Feed(const QByteArray& chunk) { output_.HandleChunk(chunk); }

    FakeClock clock_{QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))};
    TJob_DriveImage job_{u"System"_s};
    TImagingOutput output_{job_};
};

TEST_F(ImagingOutputTest, EachLineIsClassifiedByTheFirstRuleThatMatches) {
    const struct {
        QByteArray line;
        QStringList log;
        int errors;
    } cases[] = {
        {"ERROR The volume /data cannot be read: No such file or directory",
         {Timed(u"FEHLER: The volume /data cannot be read: No such file or directory"_s)},
         1},
        // Every occurrence is replaced, and the line still counts once.
        {"ERROR reading /a: ERROR 5", {Timed(u"FEHLER: reading /a: FEHLER: 5"_s)}, 1},
        // An error beats every later rule, progress included.
        {"ERROR at /x, copied (45%).", {Timed(u"FEHLER: at /x, copied (45%)."_s)}, 1},
        {"There is not enough free space on the backup storage location /t to create the backup.",
         {Timed(
             u"FEHLER:There is not enough free space on the backup storage location /t to create the backup."_s)},
         1},
        {"Another backup or recovery operation is in progress on /t. Try again when it has ended.",
         {Timed(
             u"FEHLER:Another backup or recovery operation is in progress on /t. Try again when it has ended."_s)},
         1},
        {"morvane-imager 2.3 - Backup command-line tool", {}, 0},
        {"Copyright (C) Morvane Backup. All rights reserved.", {}, 0},
        {"The backup operation successfully completed.",
         {u"The backup operation successfully completed."_s},
         0},
        {"", {}, 0},
        {"error in lower case is no error", {u"error in lower case is no error"_s}, 0},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.line.toStdString());
        job_.LastJobResult.Log.clear();
        job_.LastJobResult.ErrorsCount = 0;
        Feed(item.line + "\r\n");
        EXPECT_EQ(job_.LastJobResult.Log, item.log);
        EXPECT_EQ(job_.LastJobResult.ErrorsCount, item.errors);
        EXPECT_EQ(job_.CurrentFileOperationProgress, 0);
    }
}

TEST_F(ImagingOutputTest, AProgressLineSetsTheFiguresOnlyWhenItsNumberReads) {
    Feed("Creating a backup of volume /home, copied (45%).\r\n");
    EXPECT_EQ(job_.CurrentFileOperationProgress, 45);
    EXPECT_EQ(job_.CurrentFileOperationPath.Text(), u"Creating a backup of volume /home");

    for (const QByteArray line :
         {"Creating a backup of volume /, copied (4x%).", "Creating a backup of volume /, copied (%).",
          "Creating a backup of volume /, copied (50"}) {
        SCOPED_TRACE(line.toStdString());
        Feed(line + "\r\n");
        EXPECT_EQ(job_.CurrentFileOperationProgress, 45);
        EXPECT_EQ(job_.CurrentFileOperationPath.Text(), u"Creating a backup of volume /home");
    }
    EXPECT_TRUE(job_.LastJobResult.Log.isEmpty());

    // A long status keeps its first 256 characters.
    const QByteArray status(300, 'v');
    Feed(status + ", copied (7%).");
    EXPECT_EQ(job_.CurrentFileOperationProgress, 7);
    EXPECT_EQ(job_.CurrentFileOperationPath.Text(), QString(256, u'v'));
    EXPECT_EQ(job_.LastJobResult.ErrorsCount, 0);
}

TEST_F(ImagingOutputTest, AnAccessDeniedChunkGivesOneAdminErrorAndNothingElse) {
    Feed("morvane-imager 2.3 - Backup command-line tool\r\n"
         "\r\n"
         "Access denied. You must be a member of the administrators: run this tool as root.\r\n"
         "ERROR something else\r\n"
         "A plain line\r\n");
    EXPECT_EQ(job_.LastJobResult.Log, QStringList{Timed(u"FEHLER: Als Administrator starten."_s)});
    EXPECT_EQ(job_.LastJobResult.ErrorsCount, 1);
}

TEST_F(ImagingOutputTest, ALineCutBetweenTwoChunksCountsAsTwoLines) {
    Feed("The image version is in /t/MorvaneImageBackup\nCreating a backup of vol");
    Feed("ume /, copied (60%).\n");
    EXPECT_EQ(job_.LastJobResult.Log, (QStringList{u"The image version is in /t/MorvaneImageBackup"_s,
                                                   u"Creating a backup of vol"_s}));
    EXPECT_EQ(job_.CurrentFileOperationProgress, 60);
    EXPECT_EQ(job_.CurrentFileOperationPath.Text(), u"ume /");
}

} // namespace
} // namespace morvane
