#include "fixtures/temp_home.h"
#include "platform/file_copy.h"
#include "storage/storage_fs.h"
#include "storage/storage_helpers.h"

#include <QDir>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class StorageHelpersTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        QLocale::setDefault(QLocale::c());
    }
};

TEST(MakeLongPathTest, PrefixesOnlyAtAndBeyondTheLimits) {
    struct Case {
        QString path;
        bool directory;
        QString expected;
    };
    const QString folder246 = u"C:\\"_s + QString(243, u'a');
    const QString folder247 = folder246 + u'b';
    const QString file259 = u"C:\\"_s + QString(256, u'f');
    const QString file260 = file259 + u'g';
    const QString unc300 = u"\\\\srv\\share\\"_s + QString(300 - 12, u'u');
    const Case cases[] = {
        {folder246, true, folder246},
        {folder247, true, u"\\\\?\\"_s + folder247},
        {file259, false, file259},
        {file260, false, u"\\\\?\\"_s + file260},
        {folder247, false, folder247},
        {unc300, false, u"\\\\?\\UNC\\srv\\share\\"_s + QString(300 - 12, u'u')},
        {u"\\\\?\\"_s + file260, false, u"\\\\?\\UNC\\?\\"_s + file260},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.size());
        EXPECT_EQ(MakeLongPath(c.path, c.directory), c.expected);
    }
}

TEST_F(StorageHelpersTest, SizeTextUsesTheSmallestFittingUnit) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0 KB"},         {1536, "1.5 KB"},        {1000, "0.98 KB"},         {1'048'576, "1024 KB"},
        {1'048'577, "1 MB"}, {5'368'709'120, "5 GB"}, {1'610'612'736, "1.5 GB"}, {INT64_MAX, "8 EB"},
    };
    for (const auto& [size, text] : cases)
        EXPECT_EQ(SizeText(size), QString::fromLatin1(text)) << size;
}

TEST_F(StorageHelpersTest, FileSizeAndTimeStamp) {
    testing::WriteFileBytes(HomePath(u"f"_s), "12345");
    EXPECT_EQ(GetFileSize64(HomePath(u"f"_s)), 5);
    EXPECT_EQ(GetFileSize64(HomePath(u"none"_s)), -1);
    const QDateTime moment(QDate(2024, 3, 7), QTime(9, 5, 4, 32));
    const QString text = FileTimeStampText(ToDateTimeValue(moment));
    ASSERT_EQ(text.size(), 23);
    EXPECT_EQ(text.left(11), u"2024-03-07 ");
    const QChar separator = text[13];
    EXPECT_EQ(text.mid(11), QStringList({u"09"_s, u"05"_s, u"04"_s, u"032"_s}).join(separator));
}

TEST(CopyProgressRoutineTest, StoresRoundedPercentages) {
    struct Case {
        int64_t total;
        int64_t done;
        int32_t percent;
    };
    const Case cases[] = {{200, 1, 0}, {200, 3, 2}, {200, 5, 2}, {1000, 995, 100}, {3, 1, 33}, {0, 0, 0}};
    for (const Case& c : cases) {
        std::atomic<int32_t> percent{-1};
        CopyProgressRoutine(c.total, c.done, &percent);
        EXPECT_EQ(percent, c.percent) << c.total << " " << c.done;
    }
    CopyProgressRoutine(10, 5, nullptr);
}

TEST_F(StorageHelpersTest, ForceDeleteShellRemovesTreesAndReportsMissingItems) {
    QDir().mkpath(HomePath(u"t/a/b"_s));
    testing::WriteFileBytes(HomePath(u"t/a/b/f"_s), "f");
    EXPECT_TRUE(ForceDeleteShell(HomePath(u"t"_s)));
    EXPECT_FALSE(QDir(HomePath(u"t"_s)).exists());
    try {
        ForceDeleteShell(HomePath(u"t"_s));
        ADD_FAILURE() << "a missing item was accepted";
    } catch (const TStorageError& error) {
        EXPECT_EQ(error.Text, u"Failed to create shell item: "_s + HomePath(u"t"_s));
    }
}

TEST(NetworkPathTest, RecognisesTheThreeSmbForms) {
    EXPECT_TRUE(IsNetworkPath(u"\\\\nas\\share"_s));
    EXPECT_TRUE(IsNetworkPath(u"//nas/share"_s));
    EXPECT_TRUE(IsNetworkPath(u"SMB://nas/share"_s));
    EXPECT_FALSE(IsNetworkPath(u"/media/usb"_s));
    EXPECT_FALSE(IsNetworkPath(u"smb/share"_s));
}

} // namespace
} // namespace morvane
