// Damaged and hostile job files: the readers must refuse them cleanly, never crash, never read past
// the end or allocate without bound.

#include "fixtures/image_builder.h"
#include "fixtures/sample_jobs.h"
#include "fixtures/temp_home.h"
#include "formats/file_image.h"
#include "jobs/job.h"
#include "jobs/job_file.h"

#include <random>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ImageBuilder;
using testing::WriteFileBytes;

class HostileJobFileTest : public testing::TempHomeTest {
protected:
    QString Path() const { return AppDir() + u"/H.qkd"_s; }

    // Loads the plain image through every reader; returns whether the local reader accepted it.
    bool LoadEverywhere(const QByteArray& plain) {
        WriteFileBytes(Path(), ScrambleFileImage(plain));
        GetJobFileKind(Path());
        TJob_FilesAndFolders files(u"H"_s);
        TJob_DriveImage drive(u"H"_s);
        const bool accepted = files.LoadLocalJobFile(Path());
        drive.LoadLocalJobFile(Path());
        TBackupChainState chain;
        try {
            files.LoadRemoteJobFile(Path(), true, chain);
        } catch (const FileImageError&) {
        }
        try {
            drive.LoadRemoteJobFile(Path(), true);
        } catch (const FileImageError&) {
        }
        TakeEventTexts();
        return accepted;
    }

    QByteArray SavedPlainImage(TJob_FilesAndFolders& job) {
        job.SaveLocalJobFile(Path());
        return UnscrambleFileImage(testing::ReadFileBytes(Path()));
    }
};

TEST_F(HostileJobFileTest, EveryTruncationIsRefused) {
    auto job = testing::SampleFilesJob(u"H"_s);
    const QByteArray plain = SavedPlainImage(*job);
    for (qsizetype length = 0; length < plain.size(); ++length)
        EXPECT_FALSE(LoadEverywhere(plain.left(length))) << "length " << length;
    EXPECT_TRUE(LoadEverywhere(plain));
}

TEST_F(HostileJobFileTest, RandomDamageNeverCrashes) {
    auto job = testing::SampleFilesJob(u"H"_s);
    const QByteArray plain = SavedPlainImage(*job);
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        QByteArray damaged = plain;
        for (int flips = 1 + round % 4; flips > 0; --flips)
            damaged[random() % damaged.size()] = static_cast<char>(random());
        LoadEverywhere(damaged);
    }
}

struct CraftedCase {
    const char* what;
    int32_t logListCount;
    int32_t pathLength;
    int32_t backupType;
    bool accepted;
};

// A files job image whose log-list count, destination-path length and backup type are chosen.
QByteArray Crafted(const CraftedCase& c) {
    ImageBuilder b;
    b.I32(5).I32(1).F64(1).F64(2).B8(0).I32(0).I32(0);
    b.I32(c.logListCount);
    if (c.logListCount > 0)
        b.Str(u"2025-01-01 00;00;00"_s);
    b.I32(0);              // history
    b.I32(0).B8(0).I32(0); // sources, filter, extensions
    b.I32(c.pathLength);   // destination path: only the length, no text
    b.I32(0).I32(0).I32(0).I32(c.backupType).I32(5).I32(10).B8(0);
    b.I32(0).Zeros(38).I32(0).F64(0).B8(0).B8(0);
    return b.bytes;
}

TEST_F(HostileJobFileTest, CraftedCountsAndValues) {
    const CraftedCase cases[] = {
        {"well-formed", 1, 0, 2, true},
        {"negative list count reads as an empty list", -1, 0, 2, true},
        {"negative string length reads as an empty string", 0, -100, 2, true},
        {"list count beyond the file", 0x7FFFFFFF, 0, 2, false},
        {"string length beyond the file", 0, 0x7FFFFFFF, 2, false},
        {"backup type with no such value", 0, 0, 7, false},
        {"backup type whose low byte is valid", 0, 0, 0x102, true},
    };
    for (const CraftedCase& c : cases) {
        WriteFileBytes(Path(), ScrambleFileImage(Crafted(c)));
        TJob_FilesAndFolders job(u"H"_s);
        EXPECT_EQ(job.LoadLocalJobFile(Path()), c.accepted) << c.what;
        if (c.accepted) {
            EXPECT_TRUE(job.DestinationPath.isEmpty()) << c.what;
        }
        TakeEventTexts();
    }
}

TEST_F(HostileJobFileTest, UnknownKindIsNotAJobOfEitherKind) {
    ImageBuilder b;
    b.I32(5).I32(9);
    WriteFileBytes(Path(), b.Scrambled());
    EXPECT_EQ(GetJobFileKind(Path()), 9);
    TJob_FilesAndFolders files(u"H"_s);
    TJob_DriveImage drive(u"H"_s);
    EXPECT_FALSE(files.LoadLocalJobFile(Path()));
    EXPECT_FALSE(drive.LoadLocalJobFile(Path()));
}

} // namespace
} // namespace morvane
