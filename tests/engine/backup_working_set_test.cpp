// The run lists' lookups: first-match answers with duplicates, and what the comparison pass learns from
// the scan.

#include "engine/backup_working_set.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

TEST(PathListTest, LookupsGiveTheFirstMatchWhateverTheHint) {
    const TPathList list({u"a"_s, u"b"_s, u"a"_s, u"c"_s});
    struct Case {
        QString item;
        qsizetype hint;
        qsizetype index;
    };
    const Case cases[] = {
        {u"a"_s, -1, 0}, {u"a"_s, 0, 0}, {u"a"_s, 2, 0}, // the later duplicate is never the answer
        {u"b"_s, 1, 1},  {u"b"_s, 3, 1}, {u"c"_s, 3, 3}, {u"c"_s, 9, 3}, {u"A"_s, 0, -1}, {u"d"_s, 3, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item.toStdString() + " hint " + std::to_string(c.hint));
        EXPECT_EQ(list.IndexOf(c.item, c.hint), c.index);
        EXPECT_EQ(list.IndexOf(c.item), c.index);
        EXPECT_EQ(list.Contains(c.item), c.index >= 0);
    }
}

TEST(BackupWorkingSetTest, ThePreviousEntriesFoundAgainAreKnownAfterTheScan) {
    TBackupWorkingSet set;
    set.PreviousLocalFilesList.Assign({u"d/a"_s, u"d/b"_s, u"d/a"_s, u"d/c"_s, u"d/gone"_s});
    set.PreviousLocalDirsList.Assign({u"d"_s, u"d/old"_s});
    // Found in another order, with a new file, and one file taken back because it could not be read.
    EXPECT_EQ(set.AddLocalFile(u"d/c"_s, u"t1"_s), 3);
    EXPECT_EQ(set.AddLocalFile(u"d/a"_s, u"t2"_s), 0);
    EXPECT_EQ(set.AddLocalFile(u"d/new"_s, u"t3"_s), -1);
    EXPECT_EQ(set.AddLocalFile(u"d/b"_s, u"t4"_s), 1);
    set.RemoveLastLocalFile();
    EXPECT_TRUE(set.AddLocalDir(u"d"_s));
    EXPECT_FALSE(set.AddLocalDir(u"d/fresh"_s));

    EXPECT_EQ(set.LocalFilesList, (QStringList{u"d/c"_s, u"d/a"_s, u"d/new"_s}));
    EXPECT_EQ(set.LocalFilesTimeList, (QStringList{u"t1"_s, u"t2"_s, u"t3"_s}));
    EXPECT_EQ(set.LocalDirsList, (QStringList{u"d"_s, u"d/fresh"_s}));
    const bool filesFound[] = {true, false, true, true, false}; // both "d/a" entries count as found
    for (qsizetype i = 0; i < 5; ++i)
        EXPECT_EQ(set.FoundPreviousFile(i), filesFound[i]) << i;
    EXPECT_TRUE(set.FoundPreviousDir(0));
    EXPECT_FALSE(set.FoundPreviousDir(1));

    set.ClearLists();
    EXPECT_TRUE(set.LocalFilesList.isEmpty());
    EXPECT_EQ(set.AddLocalFile(u"d/a"_s, u"t"_s), -1);
}

} // namespace
} // namespace morvane
