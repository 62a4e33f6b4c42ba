#include "core/job_json.h"
#include "fixtures/sample_jobs.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

TEST(JobJsonTest, FilesJobShowsEveryStoredFieldAndHidesThePassword) {
    const QJsonObject json = JobToJson(*testing::SampleFilesJob(u"Docs"_s));
    EXPECT_EQ(json[u"stJobName"_s].toString(), u"Docs");
    const QJsonObject result = json[u"LastJobResult"_s].toObject();
    EXPECT_EQ(result[u"StartTime"_s].toDouble(), 46000.25);
    EXPECT_EQ(result[u"EndTime"_s].toDouble(), 46000.5);
    EXPECT_TRUE(result[u"Cancelled"_s].toBool());
    EXPECT_EQ(result[u"ErrorsCount"_s].toInt(), 3);
    EXPECT_EQ(result[u"WarningsCount"_s].toInt(), -4);
    EXPECT_EQ(json[u"LogList"_s].toArray().size(), 2);
    EXPECT_EQ(json[u"BackupHistory"_s].toArray().size(), 1);
    const QJsonObject settings = json[u"Settings"_s].toObject();
    EXPECT_EQ(settings[u"Sources"_s].toObject()[u"FilterType"_s].toString(), u"ftExclude");
    EXPECT_EQ(settings[u"Sources"_s].toObject()[u"List"_s].toArray().first().toString(),
              u"/home/ann/Documents/*");
    EXPECT_EQ(settings[u"Backup"_s].toObject()[u"BackupType"_s].toString(), u"btFull");
    EXPECT_EQ(settings[u"Backup"_s].toObject()[u"NumberFullCopiesToKeep"_s].toInt(), 2);
    EXPECT_EQ(json[u"DestinationType"_s].toString(), u"dtNetwork");
    EXPECT_EQ(json[u"Destination_NetworkUsername"_s].toString(), u"ann");
    EXPECT_EQ(json[u"Destination_NetworkPassword"_s].toString(), u"set");
    const QJsonObject schedule = json[u"SchedulingSettings"_s].toObject();
    EXPECT_EQ(schedule[u"SchedulingType"_s].toString(), u"stDaysOfMonth");
    EXPECT_EQ(schedule[u"DaysOfWeek"_s].toArray().size(), 7);
    EXPECT_EQ(schedule[u"DaysOfMonth"_s].toArray().size(), 31);
    EXPECT_TRUE(schedule[u"DaysOfMonth"_s].toArray().at(30).toBool());
    EXPECT_EQ(schedule[u"LastModificationDateTime"_s].toDouble(), 45999.125);
    EXPECT_FALSE(QString::fromUtf8(QJsonDocument(json).toJson()).contains(u"p@ss"_s));
}

TEST(JobJsonTest, DriveImageJobShowsItsOwnSettingsAndAnEmptyPassword) {
    auto job = testing::SampleDriveJob(u"System"_s);
    job->Destination_NetworkPassword.clear();
    const QJsonObject json = JobToJson(*job);
    const QJsonObject settings = json[u"Settings"_s].toObject();
    EXPECT_EQ(settings[u"SourceDrivesList"_s].toArray().size(), 2);
    EXPECT_TRUE(settings[u"AutocleanOldBackups"_s].toBool());
    EXPECT_EQ(settings[u"NumberOfBackupVersionsToKeep"_s].toString(), u"12");
    EXPECT_EQ(json[u"Destination_NetworkPassword"_s].toString(), u"");
}

} // namespace
} // namespace morvane
