#include "fixtures/temp_home.h"
#include "formats/text_file.h"

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class TextFileTest : public testing::TempHomeTest {};

// Whatever lines the program writes (without line breaks in them) read back as they were: list files
// carry file names, and a name may begin with U+FEFF, the character the file's byte-order mark is.
TEST_F(TextFileTest, WrittenLinesReadBackUnchanged) {
    const QStringList cases[] = {
        {},
        {QString()},
        {QString(), QString()},
        {u"\uFEFFleading mark"_s, u"b"_s},
        {u"\uFEFF"_s},
        {u"a"_s, u"\uFEFFsecond"_s},
        {u"caf\u00e9 \u2028 tab\there"_s, QString(), u"last"_s},
    };
    const QString path = HomePath(u"lines.txt"_s);
    for (const QStringList& lines : cases) {
        SCOPED_TRACE(lines.join(u'|').toStdString());
        ASSERT_TRUE(WriteTextFileLines(path, lines));
        const QByteArray bytes = testing::ReadFileBytes(path);
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
        EXPECT_EQ(SplitTextLines(bytes), lines);
    }
}

// Files from elsewhere: with or without a mark, any line ending, a last line with or without one.
TEST(TextFileSplitTest, OnlyTheFilesOwnMarkIsDropped) {
    struct Case {
        QByteArray bytes;
        QStringList lines;
    };
    const Case cases[] = {
        {"", {}},
        {"\xEF\xBB\xBF", {}},
        {"\r\n", {QString()}},
        {"a\r\nb", {u"a"_s, u"b"_s}},
        {"\xEF\xBB\xBF"
         "a\rb\n\n",
         {u"a"_s, u"b"_s, QString()}},
        {"\xEF\xBB\xBF\xEF\xBB\xBF"
         "a",
         {u"\uFEFFa"_s}},
        {"a\n\xEF\xBB\xBF"
         "b",
         {u"a"_s, u"\uFEFFb"_s}},
        {"bad \xFF byte", {u"bad \uFFFD byte"_s}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        EXPECT_EQ(SplitTextLines(c.bytes), c.lines);
    }
}

} // namespace
} // namespace morvane
