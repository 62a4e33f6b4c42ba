#include "i18n/translation.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

// English, German, French: names, codes, then three texts.
const TTranslationTable table = {
    {u"English"_s, u"en"_s, u"Cancelling"_s, u"Job \"%s\" is open."_s, u"Only English"_s},
    {u"Deutsch"_s, u"de"_s, u"Abbrechen"_s, u"Auftrag \"%s\" ist geöffnet."_s, QString()},
    {u"Français"_s, u"fr"_s, u"Annulation"_s, QString(), QString()},
};

struct LookupCase {
    int language;
    QString text;
    QString expected;
};

TEST(LookupTranslationTest, FindsTheTextOrFallsBackToEnglish) {
    const LookupCase cases[] = {
        {0, u"Cancelling"_s, u"Cancelling"_s},     // English: no lookup
        {1, u"Cancelling"_s, u"Abbrechen"_s},      // found
        {2, u"Cancelling"_s, u"Annulation"_s},     // other column
        {1, u"cancelling"_s, u"cancelling"_s},     // case-sensitive
        {1, u"Only English"_s, u"Only English"_s}, // empty cell
        {1, u"Not in the table"_s, u"Not in the table"_s},
        {5, u"Cancelling"_s, u"Cancelling"_s}, // no such column
        {-1, u"Cancelling"_s, u"Cancelling"_s},
    };
    for (const LookupCase& c : cases)
        EXPECT_EQ(LookupTranslation(table, c.language, c.text), c.expected)
            << c.language << " " << c.text.toStdString();
}

TEST(LookupTranslationTest, RaggedColumnsAreSafe) {
    const TTranslationTable ragged = {{u"English"_s, u"en"_s, u"Text"_s}, {u"Deutsch"_s}};
    EXPECT_EQ(LookupTranslation(ragged, 1, u"Text"_s), u"Text");
    EXPECT_EQ(LookupTranslation({}, 1, u"Text"_s), u"Text");
}

TEST(FormatTextTest, FillsPlacesInOrderWithoutRescanningArguments) {
    EXPECT_EQ(FormatText(u"Job \"%s\" is renamed to \"%s\"."_s, {u"a"_s, u"b"_s}),
              u"Job \"a\" is renamed to \"b\".");
    EXPECT_EQ(FormatText(u"%s and %d"_s, {u"%s"_s, u"7"_s}), u"%s and 7");
    EXPECT_EQ(FormatText(u"100%% of %s"_s, {u"x"_s}), u"100% of x");
    EXPECT_EQ(FormatText(u"missing %s"_s, {}), u"missing ");
    EXPECT_EQ(FormatText(u"trailing %"_s, {}), u"trailing %");
}

} // namespace
} // namespace morvane
