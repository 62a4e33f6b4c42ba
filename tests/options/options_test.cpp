#include "fixtures/temp_home.h"
#include "options/options.h"

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

TEST(DefaultLanguageTest, MapsThePrimaryLanguageByItsLowByte) {
    const std::pair<int, const char*> cases[] = {
        {1, "ar"},  {4, "cn"},  {5, "en"}, {7, "de"},     {12, "fr"},    {17, "jp"}, {24, "ro"},
        {25, "ru"}, {31, "tr"}, {0, "en"}, {0x407, "de"}, {0x40C, "fr"}, {99, "en"},
    };
    for (const auto& [id, code] : cases)
        EXPECT_EQ(DefaultLanguageOfInterface(id), QString::fromLatin1(code)) << id;
}

class OptionsDefaultsTest : public testing::TempHomeTest {};

TEST_F(OptionsDefaultsTest, EveryFieldHasItsDefault) {
    const TOptions o = DefaultOptions();
    EXPECT_EQ(o.Language.iLanguage, 0);
    EXPECT_TRUE(o.Language.Translations.isEmpty());
    EXPECT_TRUE(o.General.RunProgramAtLogon);
    EXPECT_TRUE(o.General.BlockSleepModeifJobIsScheduled);
    EXPECT_FALSE(o.General.ProtectConfigurationbyPassword);
    EXPECT_TRUE(o.General.strProtectConfiguration_Password.isEmpty());
    EXPECT_EQ(o.General.ProcessPriority, 1);
    EXPECT_EQ(o.General.PathForTempFiles, HomePath(u"tmp/MorvaneBackupTmp"_s));
    EXPECT_EQ(o.Logging.MaxNumberOfLogsForEachJob, 20);
    EXPECT_EQ(o.Logging.MaxNumberOfLinesInHistory, 500);
    EXPECT_EQ(o.Logging.MaxNumberOfLinesInEventsLog, 50);
    EXPECT_FALSE(o.Logging.DontLogCopyingInternalFiles);
    EXPECT_EQ(o.Logging.PathForLogFiles, HomePath(u"Documents/Morvane Backup"_s));
    EXPECT_FALSE(o.Processing.RunOnlyOneJobAtATime);
    EXPECT_EQ(o.Processing.IfDestinationNotAvailable_Retry_Times, 5);
    EXPECT_EQ(o.Processing.IfDestinationNotAvailable_Wait_Sec, 60);
    EXPECT_EQ(o.Processing.IfDestinationNotAvailable_Then, 0);
    EXPECT_FALSE(o.Processing.PreventOtherAppsFromWritingDuringZipping);
    EXPECT_TRUE(o.Processing.RemovePreviousBackupIfCancelled);
    EXPECT_FALSE(o.Processing.DontUseBufferingForCopyOperations);
    EXPECT_FALSE(o.Processing.SkipHiddenSystemFiles);
    EXPECT_FALSE(o.Processing.SkipLockedFiles);
    EXPECT_TRUE(o.ExcludedDirs.isEmpty());
}

} // namespace
} // namespace morvane
