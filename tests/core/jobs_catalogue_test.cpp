#include "core/jobs_catalogue.h"
#include "fixtures/sample_jobs.h"
#include "fixtures/temp_home.h"

#include <QDir>
#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;

struct NameCase {
    QString typed;
    JobNameCheck expected;
    QString trimmed;
};

class JobsCatalogueTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
    }

    // Adds a job of the sample kind and saves its file.
    TJob& AddSaved(const QString& name, bool driveImage = false) {
        std::unique_ptr<TJob> job;
        if (driveImage)
            job = testing::SampleDriveJob(name);
        else
            job = testing::SampleFilesJob(name);
        EXPECT_TRUE(SaveLocalJobFile(*job, catalogue->JobFilePath(name)));
        return catalogue->Append(std::move(job));
    }

    QStringList Names(const TJobsCatalogue& c) const {
        QStringList names;
        for (int i = 0; i < c.Count(); ++i)
            names.append(c.At(i).stJobName);
        return names;
    }

    std::unique_ptr<TJobsCatalogue> catalogue;
};

TEST_F(JobsCatalogueTest, NameRules) {
    AddSaved(u"Photos"_s);
    AddSaved(u"Été"_s);
    const NameCase cases[] = {
        {u"Documents"_s, JobNameCheck::Ok, u"Documents"_s},
        {u"  \tDocuments \r\n"_s, JobNameCheck::Ok, u"Documents"_s},
        {u"   "_s, JobNameCheck::Empty, QString()},
        {QString(), JobNameCheck::Empty, QString()},
        {u"a<b"_s, JobNameCheck::ForbiddenSymbols, u"a<b"_s},
        {u"a>b"_s, JobNameCheck::ForbiddenSymbols, u"a>b"_s},
        {u"C:"_s, JobNameCheck::ForbiddenSymbols, u"C:"_s},
        {u"say \"hi\""_s, JobNameCheck::ForbiddenSymbols, u"say \"hi\""_s},
        {u"a/b"_s, JobNameCheck::ForbiddenSymbols, u"a/b"_s},
        {u"a\\b"_s, JobNameCheck::ForbiddenSymbols, u"a\\b"_s},
        {u"a|b"_s, JobNameCheck::ForbiddenSymbols, u"a|b"_s},
        {u"why?"_s, JobNameCheck::ForbiddenSymbols, u"why?"_s},
        {u"all*"_s, JobNameCheck::ForbiddenSymbols, u"all*"_s},
        {u"."_s, JobNameCheck::ForbiddenSymbols, u"."_s},
        {u" .. "_s, JobNameCheck::ForbiddenSymbols, u".."_s},
        {u"..."_s, JobNameCheck::Ok, u"..."_s},
        {u"line\nbreak"_s, JobNameCheck::ForbiddenSymbols, u"line\nbreak"_s},
        {u"PHOTOS"_s, JobNameCheck::Taken, u"PHOTOS"_s},
        {u" photos "_s, JobNameCheck::Taken, u"photos"_s},
        {u"été"_s, JobNameCheck::Ok, u"été"_s}, // non-ASCII letters compare exactly
        {u"ÉTÉ"_s, JobNameCheck::Ok, u"ÉTÉ"_s},
        {u"Été"_s, JobNameCheck::Taken, u"Été"_s},
    };
    for (const NameCase& c : cases) {
        QString trimmed;
        EXPECT_EQ(catalogue->CheckNewName(c.typed, &trimmed), c.expected) << c.typed.toStdString();
        EXPECT_EQ(trimmed, c.trimmed) << c.typed.toStdString();
    }
    // Renaming a job to another case of its own name counts as taken only by other jobs.
    EXPECT_EQ(catalogue->CheckNewName(u"PHOTOS"_s, nullptr, &catalogue->At(0)), JobNameCheck::Ok);
}

TEST_F(JobsCatalogueTest, SavesNamesInOrderAndLoadsBothKinds) {
    AddSaved(u"Docs"_s);
    AddSaved(u"System"_s, true);
    AddSaved(u"Ünïcødé"_s);
    ASSERT_TRUE(catalogue->SaveJobsList());
    EXPECT_EQ(ReadFileBytes(catalogue->JobsListFile()), "\xEF\xBB\xBF"
                                                        "Docs\r\nSystem\r\n" +
                                                            u"Ünïcødé"_s.toUtf8() + "\r\n");

    TJobsCatalogue loaded(AppDir());
    ASSERT_TRUE(loaded.LoadJobsListAndJobs());
    ASSERT_EQ(Names(loaded), (QStringList{u"Docs"_s, u"System"_s, u"Ünïcødé"_s}));
    EXPECT_EQ(loaded.At(0).JobKind(), TJob::Kind::FilesAndFolders);
    EXPECT_EQ(loaded.At(1).JobKind(), TJob::Kind::DriveImage);
    testing::ExpectSameStoredFields(static_cast<TJob_DriveImage&>(catalogue->At(1)),
                                    static_cast<TJob_DriveImage&>(loaded.At(1)));
}

TEST_F(JobsCatalogueTest, AcceptsAnyLineEndWithOrWithoutByteOrderMark) {
    AddSaved(u"A"_s);
    AddSaved(u"B"_s);
    AddSaved(u"C"_s);
    for (const QByteArray& text : {QByteArray("A\nB\nC"),
                                   QByteArray("\xEF\xBB\xBF"
                                              "A\rB\rC\r"),
                                   QByteArray("A\r\nB\nC\r\n")}) {
        WriteFileBytes(catalogue->JobsListFile(), text);
        TJobsCatalogue loaded(AppDir());
        ASSERT_TRUE(loaded.LoadJobsListAndJobs());
        EXPECT_EQ(Names(loaded), (QStringList{u"A"_s, u"B"_s, u"C"_s})) << text.toStdString();
    }
}

TEST_F(JobsCatalogueTest, MissingListIsAnEmptyCatalogue) {
    EXPECT_FALSE(catalogue->LoadJobsListAndJobs());
    EXPECT_EQ(catalogue->Count(), 0);
}

TEST_F(JobsCatalogueTest, JobWithoutItsFileIsDroppedAndTheNextSaveForgetsIt) {
    AddSaved(u"Kept"_s);
    WriteFileBytes(catalogue->JobsListFile(), "Kept\r\nGone\r\nKept\r\n\r\n../../escape\r\n");
    WriteFileBytes(AppDir() + u"/Broken.qkd"_s, "x");
    TJobsCatalogue loaded(AppDir());
    ASSERT_TRUE(loaded.LoadJobsListAndJobs());
    EXPECT_EQ(Names(loaded), QStringList{u"Kept"_s});
    ASSERT_TRUE(loaded.SaveJobsList());
    EXPECT_EQ(ReadFileBytes(loaded.JobsListFile()), "\xEF\xBB\xBF"
                                                    "Kept\r\n");
}

TEST_F(JobsCatalogueTest, PartlyReadableJobStaysWithWhatWasRead) {
    TJob& job = AddSaved(u"Half"_s);
    const QString path = catalogue->JobFilePath(job.stJobName);
    QByteArray stored = ReadFileBytes(path);
    stored.chop(10);
    WriteFileBytes(path, stored);
    WriteFileBytes(catalogue->JobsListFile(), "Half\r\n");
    TJobsCatalogue loaded(AppDir());
    ASSERT_TRUE(loaded.LoadJobsListAndJobs());
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.At(0).DestinationPath, job.DestinationPath);
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Error loading job \"Half\". Code: 1"_s});
}

TEST_F(JobsCatalogueTest, MovingUpAndDownStopsAtTheEndsAndSaves) {
    AddSaved(u"A"_s);
    AddSaved(u"B"_s);
    AddSaved(u"C"_s);
    struct Move {
        bool up;
        int index;
        bool moved;
        const char* order;
    };
    const Move moves[] = {
        {true, 0, false, "ABC"}, {false, 2, false, "ABC"}, {false, 0, true, "BAC"},
        {true, 2, true, "BCA"},  {true, 1, true, "CBA"},   {false, 5, false, "CBA"},
    };
    for (const Move& m : moves) {
        EXPECT_EQ(m.up ? catalogue->MoveUp(m.index) : catalogue->MoveDown(m.index), m.moved);
        EXPECT_EQ(Names(*catalogue).join(QString()), QString::fromLatin1(m.order));
    }
    TJobsCatalogue loaded(AppDir());
    loaded.LoadJobsListAndJobs();
    EXPECT_EQ(Names(loaded).join(QString()), u"CBA");
}

TEST_F(JobsCatalogueTest, ActiveMeansRunningCancellingOrPaused) {
    TJob& job = AddSaved(u"A"_s);
    AddSaved(u"B"_s);
    const std::pair<TJobStatus, bool> cases[] = {
        {jsNone, false}, {jsWaiting, false}, {jsRunning, true}, {jsCancelling, true}, {jsPaused, true}};
    for (const auto& [status, active] : cases) {
        job.JobStatus = status;
        EXPECT_EQ(catalogue->AnyJobIsActive(), active) << int(status);
    }
}

TEST_F(JobsCatalogueTest, UnwritableListReportsFailure) {
    AddSaved(u"A"_s);
    ASSERT_TRUE(QDir().mkpath(catalogue->JobsListFile())); // a folder where the file should go
    EXPECT_FALSE(catalogue->SaveJobsList());
}

} // namespace
} // namespace morvane
