#include "engine/storage_names.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

// Names read from the storage are joined to a folder there; a network share also reads "\" as a
// separator, so a name is safe only when it names an entry below the folder either way.
TEST(StorageNamesTest, FolderNamesThatNameTheFolderItselfOrClimbAreRefused) {
    struct Case {
        QString name;
        bool safe;
    };
    const Case cases[] = {
        {u"2025-03-03 14;05;09 (Full)"_s, true},
        {u"a\\b"_s, true},
        {u"a\\"_s, true},
        {u"\\a"_s, true},
        {u".\\a"_s, true},
        {u"...\\"_s, true},
        {u".hidden"_s, true},
        {QString(), false},
        {u"."_s, false},
        {u".."_s, false},
        {u"a"_s + QChar(0) + u"b"_s, false},
        {u"..\\x"_s, false},
        {u"x\\..\\.."_s, false},
        {u"\\"_s, false},
        {u"\\\\"_s, false},
        {u".\\"_s, false},
        {u"\\.\\."_s, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        EXPECT_EQ(IsSafeFolderName(c.name), c.safe);
        // A relative path of one component is judged as that name; below a safe folder, the same.
        EXPECT_EQ(IsSafeRelativePath(c.name), c.safe);
        EXPECT_EQ(IsSafeRelativePath(u"Docs/"_s + c.name), c.safe);
    }
    EXPECT_FALSE(IsSafeFolderName(u"a/b"_s));
}

} // namespace
} // namespace morvane
