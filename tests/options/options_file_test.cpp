#include "fixtures/image_builder.h"
#include "fixtures/temp_home.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/program_state.h"
#include "platform/system_effects.h"

#include <QDir>
#include <QFileInfo>

#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ImageBuilder;

class OptionsFileTest : public testing::TempHomeTest {
protected:
    QString Path() const { return OptionsFilePath(); }
    void Store(const ImageBuilder& body) { testing::WriteFileBytes(Path(), body.Scrambled()); }

    // A record whose every stored field differs from what the hand-built files below hold.
    static TOptions Untouched() {
        TOptions o;
        o.General.BlockSleepModeifJobIsScheduled = true;
        o.Processing.IfDestinationNotAvailable_Then = 0;
        o.Processing.RemovePreviousBackupIfCancelled = true;
        o.Processing.SkipLockedFiles = false;
        return o;
    }
};

// The body of a file of the given version: every field it has set to a recognisable value.
ImageBuilder Body(int version) {
    ImageBuilder b;
    b.I32(version).Str(u"de"_s).B8(0).B8(1);
    if (version >= 8)
        b.B8(0); // sleep blocking off
    b.Str(u"secret"_s).I32(2).Str(u"/t"_s).I32(3).I32(4).I32(5).B8(1).Str(u"/l"_s).B8(1).I32(6).I32(7);
    if (version >= 6)
        b.I32(1); // then: pause
    if (version >= 7)
        b.B8(0); // do not remove cancelled backups
    b.B8(1).B8(1).B8(1);
    if (version >= 3)
        b.B8(1); // skip locked files
    if (version >= 5)
        b.I32(2).Str(u"/a"_s).Str(u"%anypath%/b"_s);
    return b;
}

TEST_F(OptionsFileTest, EachVersionReadsItsFieldsAtTheirPositions) {
    struct Case {
        int version;
        bool sleepBlocking;
        int destinationThen;
        bool removeCancelled;
        bool skipLocked;
        qsizetype excluded;
    };
    const Case cases[] = {
        {2, true, 0, true, false, 1},
        {5, true, 0, true, true, 3},
        {7, true, 1, false, true, 3},
        {8, false, 1, false, true, 3},
    };
    for (const Case& c : cases) {
        Store(Body(c.version));
        TOptions o = Untouched();
        o.ExcludedDirs = {u"kept"_s};
        ASSERT_TRUE(LoadOptions(o)) << c.version;
        EXPECT_EQ(o.Language.LanguageOfInterface, u"de");
        EXPECT_FALSE(o.General.RunProgramAtLogon);
        EXPECT_TRUE(o.General.ProtectConfigurationbyPassword);
        EXPECT_EQ(o.General.BlockSleepModeifJobIsScheduled, c.sleepBlocking) << c.version;
        EXPECT_EQ(o.General.strProtectConfiguration_Password, u"secret");
        EXPECT_EQ(o.General.ProcessPriority, 2);
        EXPECT_EQ(o.General.PathForTempFiles, u"/t");
        EXPECT_EQ(o.Logging.MaxNumberOfLogsForEachJob, 3);
        EXPECT_EQ(o.Logging.MaxNumberOfLinesInHistory, 4);
        EXPECT_EQ(o.Logging.MaxNumberOfLinesInEventsLog, 5);
        EXPECT_TRUE(o.Logging.DontLogCopyingInternalFiles);
        EXPECT_EQ(o.Logging.PathForLogFiles, u"/l");
        EXPECT_TRUE(o.Processing.RunOnlyOneJobAtATime);
        EXPECT_EQ(o.Processing.IfDestinationNotAvailable_Retry_Times, 6);
        EXPECT_EQ(o.Processing.IfDestinationNotAvailable_Wait_Sec, 7);
        EXPECT_EQ(o.Processing.IfDestinationNotAvailable_Then, c.destinationThen) << c.version;
        EXPECT_EQ(o.Processing.RemovePreviousBackupIfCancelled, c.removeCancelled) << c.version;
        EXPECT_TRUE(o.Processing.PreventOtherAppsFromWritingDuringZipping);
        EXPECT_TRUE(o.Processing.DontUseBufferingForCopyOperations);
        EXPECT_TRUE(o.Processing.SkipHiddenSystemFiles);
        EXPECT_EQ(o.Processing.SkipLockedFiles, c.skipLocked) << c.version;
        EXPECT_EQ(o.ExcludedDirs.size(), c.excluded) << c.version; // appended to, not replaced
    }
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

TEST_F(OptionsFileTest, SavedOptionsLoadBackExactlyEvenOverALongerFile) {
    ImageBuilder longer = Body(8);
    longer.Zeros(4096);
    Store(longer);
    TOptions saved = DefaultOptions();
    saved.General.strProtectConfiguration_Password = u"pässwörd"_s;
    saved.General.ProcessPriority = 3;
    saved.Processing.IfDestinationNotAvailable_Then = 1;
    saved.ExcludedDirs = {u"/home/ann/.cache"_s, u"%anypath%/node_modules"_s};
    ASSERT_TRUE(SaveOptions(saved));
    TOptions loaded;
    loaded.ExcludedDirs.clear();
    ASSERT_TRUE(LoadOptions(loaded));
    EXPECT_EQ(loaded.General.strProtectConfiguration_Password,
              saved.General.strProtectConfiguration_Password);
    EXPECT_EQ(loaded.General.ProcessPriority, 3);
    EXPECT_EQ(loaded.Processing.IfDestinationNotAvailable_Then, 1);
    EXPECT_EQ(loaded.ExcludedDirs, saved.ExcludedDirs);
    EXPECT_EQ(loaded.General.PathForTempFiles, saved.General.PathForTempFiles);
    EXPECT_EQ(loaded.Logging.PathForLogFiles, saved.Logging.PathForLogFiles);
    EXPECT_EQ(loaded.Language.LanguageOfInterface, saved.Language.LanguageOfInterface);
}

TEST_F(OptionsFileTest, EmptyPasswordIsAZeroLengthWithNothingAfterIt) {
    TOptions o = DefaultOptions();
    o.Language.LanguageOfInterface = u"en"_s;
    ASSERT_TRUE(SaveOptions(o));
    const QByteArray plain = UnscrambleFileImage(testing::ReadFileBytes(Path()));
    // version, "en" (4 + 4 bytes), three Booleans, then the password.
    EXPECT_EQ(plain.mid(15, 4), QByteArray(4, '\0'));
    EXPECT_EQ(plain.mid(19, 4), QByteArray("\x01\0\0\0", 4)); // the priority follows at once
}

TEST_F(OptionsFileTest, FailuresAreReportedWithTheirCodes) {
    TOptions o;
    EXPECT_FALSE(LoadOptions(o)); // no file: silent
    EXPECT_TRUE(TakeEventTexts().isEmpty());

    ImageBuilder cut = Body(8);
    cut.bytes.truncate(20);
    Store(cut);
    EXPECT_FALSE(LoadOptions(o));
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Error loading options. Code: 1"_s});
    EXPECT_EQ(o.Language.LanguageOfInterface, u"de"); // read before the damage

    QFile::remove(Path());
    ASSERT_TRUE(QDir().mkpath(Path()));
    EXPECT_FALSE(LoadOptions(o));
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Error loading options. Code: 2"_s});
    EXPECT_FALSE(SaveOptions(o));
}

TEST_F(OptionsFileTest, DefaultsOnFirstStartSwitchAutorunOn) {
    TOptions o;
    o.General.ProcessPriority = 3;
    o.Language.iLanguage = 2; // follows the catalogue, not the defaults
    ApplyDefaultOptions(o);
    EXPECT_TRUE(o.General.RunProgramAtLogon);
    EXPECT_EQ(o.General.ProcessPriority, 1);
    EXPECT_EQ(o.Language.iLanguage, 2);
    EXPECT_EQ(o.General.PathForTempFiles, HomePath(u"tmp/MorvaneBackupTmp"_s));
    const QByteArray entry = testing::ReadFileBytes(AutorunEntryPath());
    EXPECT_TRUE(entry.contains("Exec=\"")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("/morvane-backup\" /hide\n")) << entry.toStdString();
    // The shipped default list is seeded and its variables expanded.
    EXPECT_TRUE(o.ExcludedDirs.contains(HomePath(u".cache"_s).toLower()))
        << o.ExcludedDirs.join(u' ').toStdString();
    EXPECT_TRUE(o.ExcludedDirs.contains(u"%anypath%/node_modules"_s));
}

TEST_F(OptionsFileTest, AutorunThatCannotBeWrittenIsRecordedAsOff) {
    testing::WriteFileBytes(HomePath(u"config/autostart"_s), "a file where the folder should be");
    TOptions o;
    ApplyDefaultOptions(o);
    EXPECT_FALSE(o.General.RunProgramAtLogon);
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Error writing to Registry. Make sure you have the rights."_s});
    EXPECT_TRUE(SetAutorun(false)); // nothing to remove is no failure
}

TEST_F(OptionsFileTest, AutorunOffRemovesTheEntry) {
    ASSERT_TRUE(SetAutorun(true));
    ASSERT_TRUE(QFileInfo::exists(AutorunEntryPath()));
    ASSERT_TRUE(SetAutorun(false));
    EXPECT_FALSE(QFileInfo::exists(AutorunEntryPath()));
}

TEST(ExpandEnvironmentVariablesTest, OnlyALeadingDefinedVariableIsExpanded) {
    qputenv("MORVANE_TEST_ROOT", "/Home/Ann");
    qputenv("MORVANE_TEST_OTHER", "/Other");
    qunsetenv("MORVANE_TEST_UNSET");
    QStringList entries = {
        u"%MORVANE_TEST_ROOT%/Cache"_s,                // expanded, then lower-cased
        u"%morvane_test_root%/x"_s,                    // the name is looked up as written
        u"%MORVANE_TEST_UNSET%/Temp"_s,                // undefined: unchanged
        u"/Some Dir/Keep Case"_s,                      // no variable: unchanged
        u"%MORVANE_TEST_ROOT%/%MORVANE_TEST_OTHER%"_s, // only the first is expanded
        u"%anypath%/Node_Modules"_s,                   // not a variable
        QString(),
    };
    ExpandEnvironmentVariables(entries);
    EXPECT_EQ(entries[0], u"/home/ann/cache");
    EXPECT_EQ(entries[1], u"%morvane_test_root%/x");
    EXPECT_EQ(entries[2], u"%MORVANE_TEST_UNSET%/Temp");
    EXPECT_EQ(entries[3], u"/Some Dir/Keep Case");
    EXPECT_EQ(entries[4], u"/home/ann/%morvane_test_other%");
    EXPECT_EQ(entries[5], u"%anypath%/Node_Modules");
    EXPECT_EQ(entries[6], u"");
}

TEST(ProcessPriorityTest, UnknownValueChangesNothing) {
    errno = 0;
    const int before = ::getpriority(PRIO_PROCESS, 0);
    SetProcessPriority(7);
    SetProcessPriority(-1);
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), before);
}

} // namespace
} // namespace morvane
