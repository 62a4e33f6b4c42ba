// The extension text and duplicate-name rules that the job editor and morvane-cli share.

#include "core/source_rules.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

TEST(SourceRulesTest, ExtensionTextIsNormalisedThenChecked) {
    struct Case {
        QString typed;
        QString normalized;
        ExtensionsCheck check;
    };
    const Case cases[] = {
        {u" ;TXT; Doc;"_s, u"txt;doc"_s, ExtensionsCheck::Ok},
        {u";;txt;;"_s, u";txt;"_s, ExtensionsCheck::Ok}, // only one ";" goes at each end
        {u";"_s, u""_s, ExtensionsCheck::Empty},
        {u"   "_s, u""_s, ExtensionsCheck::Empty},
        {u"txt;.doc"_s, u"txt;.doc"_s, ExtensionsCheck::ForbiddenCharacters},
        {u"*.txt"_s, u"*.txt"_s, ExtensionsCheck::ForbiddenCharacters},
        {u"a,b"_s, u"a,b"_s, ExtensionsCheck::ForbiddenCharacters},
        {u"a/b"_s, u"a/b"_s, ExtensionsCheck::ForbiddenCharacters},
        {u"a\\b"_s, u"a\\b"_s, ExtensionsCheck::ForbiddenCharacters},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        EXPECT_EQ(NormalizeExtensionsText(c.typed), c.normalized);
        EXPECT_EQ(CheckExtensionsText(NormalizeExtensionsText(c.typed)), c.check);
    }
    EXPECT_EQ(ExtensionsCheckMessage(ExtensionsCheck::Empty),
              u"Please specify extensions separated by ;\r\nExample: txt;doc;exe");
    EXPECT_TRUE(ExtensionsCheckMessage(ExtensionsCheck::ForbiddenCharacters)
                    .startsWith(u"Characters * . , \\ / are not allowed.\r\n\r\nPlease specify"_s));
}

TEST(SourceRulesTest, TheFirstPairOfSameNamedSourcesIsFound) {
    struct Case {
        QStringList entries;
        QString pair;
    };
    const Case cases[] = {
        {{u"/a/Docs/*"_s, u"/b/docs/*"_s}, u"/b/docs\r\n/a/Docs"_s},
        {{u"/a/x.txt"_s, u"/b/X.TXT"_s, u"/c/x.txt"_s}, u"/b/X.TXT\r\n/a/x.txt"_s},
        {{u"/a/Docs/*"_s, u"/b/Docs"_s}, QString()}, // a folder and a file do not collide
        {{u"/*"_s, u"/media/usb/*"_s}, QString()},   // a root has no name of its own
        {{u"/a/Docs/*"_s, u"/a/Photos/*"_s}, QString()},
        {{u"/a/Ünï/*"_s, u"/b/ünï/*"_s}, u"/b/ünï\r\n/a/Ünï"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entries.join(u' ').toStdString());
        EXPECT_EQ(GetDuplicatedNamesOfFoldersOrFiles(c.entries), c.pair);
    }
}

} // namespace
} // namespace morvane
