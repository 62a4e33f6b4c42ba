#include "control/command_line.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

struct TCase {
    const char* name;
    QStringList arguments;
    bool hide;
    bool elevated;
    TFirstShowVerb verb;
    QString jobName;
};

class CommandLineTest : public ::testing::TestWithParam<TCase> {};

TEST_P(CommandLineTest, ReadsSwitchesVerbAndJobName) {
    const TCase& c = GetParam();
    const TCommandLine line(c.arguments);
    EXPECT_EQ(line.Hide(), c.hide);
    EXPECT_EQ(line.StartedElevated(), c.elevated);
    EXPECT_EQ(line.FirstShowVerb(), c.verb);
    EXPECT_EQ(line.JobName(), c.jobName);
}

const TCase cases[] = {
    {"Empty", {}, false, false, TFirstShowVerb::None, ""},
    {"HideSlash", {"/hide"}, true, false, TFirstShowVerb::None, ""},
    {"HideDashAnyCase", {"-HiDe"}, true, false, TFirstShowVerb::None, ""},
    {"HideDoubleDash", {"--hide"}, true, false, TFirstShowVerb::None, ""},
    {"BackupWithJob", {"/backup", "Daily Docs"}, false, true, TFirstShowVerb::Backup, "Daily Docs"},
    {"JobNameKeepsItsCase", {"/BACKUP", "daily docs"}, false, true, TFirstShowVerb::Backup, "daily docs"},
    {"SwitchAfterJobName", {"Daily", "x", "/backup"}, false, true, TFirstShowVerb::Backup, "x"},
    {"RestoreBeatsBackup", {"/backup", "Job", "/restore"}, false, true, TFirstShowVerb::Restore, "Job"},
    {"BackupBeatsRemove", {"/remove", "Job", "-backup"}, false, true, TFirstShowVerb::Backup, "Job"},
    {"Remove", {"/remove", "Job"}, false, true, TFirstShowVerb::Remove, "Job"},
    {"AdminHide", {"/admin", "/hide"}, true, true, TFirstShowVerb::None, "/hide"},
    {"JobFile", {"/home/ann/Daily.bmj"}, false, false, TFirstShowVerb::ImportJobFile, ""},
    {"JobFileUpperCaseIsNoJobFile", {"/home/ann/Daily.BMJ"}, false, false, TFirstShowVerb::None, ""},
    {"JobFileOnlyAsFirstArgument",
     {"/hide", "/home/ann/Daily.bmj"},
     true,
     false,
     TFirstShowVerb::None,
     "/home/ann/Daily.bmj"},
    {"DotInFolderNameOnly", {"/home/ann/x.bmj/Daily"}, false, false, TFirstShowVerb::None, ""},
    {"VerbBeatsJobFile", {"Daily.bmj", "Job", "/backup"}, false, true, TFirstShowVerb::Backup, "Job"},
    {"WordWithoutMarkIsNoSwitch", {"hide", "backup"}, false, false, TFirstShowVerb::None, "backup"},
    {"PrefixIsNoSwitch", {"/hidden", "/backups"}, false, false, TFirstShowVerb::None, "/backups"},
    {"TripleDashIsNoSwitch", {"---hide"}, false, false, TFirstShowVerb::None, ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTest, ::testing::ValuesIn(cases),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

} // namespace
} // namespace morvane
