#include "engine/list_file.h"
#include "engine/storage_names.h"
#include "fixtures/temp_home.h"
#include "platform/file_names.h"

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class ListFileTest : public testing::TempHomeTest {};

// Every name a Linux folder can hold comes back from a list file as it went in, and a line that cannot
// hold it is escaped so that no entry ever spans two lines.
TEST_F(ListFileTest, AnyNameRoundTripsAndOddOnesAreEscaped) {
    struct Case {
        QString path;
        bool link;
        QString line; // as written
    };
    const Case cases[] = {
        {u"Docs/plain.txt"_s, false, u"Docs/plain.txt"_s},
        {u"Docs/caf\u00e9 100%.txt"_s, false, u"Docs/caf\u00e9 100%.txt"_s},
        {u"Docs/%0A looks escaped"_s, false, u"Docs/%0A looks escaped"_s},
        {u"Docs/line\nbreak.txt"_s, false, u"/f/Docs/line%0Abreak.txt"_s},
        {u"Docs/cr\rname"_s, false, u"/f/Docs/cr%0Dname"_s},
        {u"Docs/crlf\r\n\t100%"_s, false, u"/f/Docs/crlf%0D%0A%09100%25"_s},
        {u"Docs/"_s + NameFromBytes("bad\xFF\xFE"), false, u"/f/Docs/bad%FF%FE"_s},
        {u"Docs/"_s + NameFromBytes("\xE9t\xE9 \xC3\xA9"), false, u"/f/Docs/%E9t%E9 \u00e9"_s},
        {u"Docs/current"_s, true, u"/l/Docs/current"_s},
        {u"Docs/%41 link\n"_s, true, u"/l/Docs/%2541 link%0A"_s},
        {u"Docs/\U0001F600 link"_s, true, u"/l/Docs/\U0001F600 link"_s},
    };
    QStringList paths;
    QSet<QString> links;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        EXPECT_EQ(ListLine({c.path, c.link}), c.line);
        paths.append(c.path);
        if (c.link)
            links.insert(c.path);
    }
    const QString file = HomePath(u"_rf.qkl"_s);
    ASSERT_TRUE(WriteListFile(file, paths, links));
    const QByteArray bytes = testing::ReadFileBytes(file);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_EQ(bytes.count("\r\n"), qsizetype(std::size(cases)));
    EXPECT_EQ(bytes.count('\n'), qsizetype(std::size(cases)));
    const TListEntries read = ReadListFile(file);
    ASSERT_EQ(read.size(), qsizetype(std::size(cases)));
    for (qsizetype i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(cases[i].line.toStdString());
        EXPECT_EQ(NameToBytes(read[i].Path), NameToBytes(cases[i].path));
        EXPECT_EQ(read[i].SymbolicLink, cases[i].link);
        EXPECT_TRUE(IsSafeRelativePath(read[i].Path));
    }
}

// The safety check sees the decoded path: an escaped line can no more leave the folder than a plain
// one, and a malformed escape is taken as it stands (a path starting with "/", refused).
TEST_F(ListFileTest, EscapedLinesAreCheckedAsDecodedAndMalformedOnesAreRefused) {
    struct Case {
        QString line;
        QString path;
    };
    const Case cases[] = {
        {u"/f/..%2Fx"_s, u"../x"_s},
        {u"/l/Docs/%2E%2E/%2E%2E/x"_s, u"Docs/../../x"_s},
        {u"/f/%2Fetc%2Fpasswd"_s, u"/etc/passwd"_s},
        {u"/f//etc/passwd"_s, u"/etc/passwd"_s},
        {u"/f/Docs/a%00b"_s, u"Docs/a"_s + QChar(0) + u"b"_s},
        {u"/f/"_s, QString()},
        {u"/f/Docs/bad%G1"_s, u"/f/Docs/bad%G1"_s},
        {u"/f/Docs/cut%4"_s, u"/f/Docs/cut%4"_s},
        {u"/x/Docs/a"_s, u"/x/Docs/a"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        const TListEntry entry = ParseListLine(c.line);
        EXPECT_EQ(entry.Path, c.path);
        EXPECT_FALSE(IsSafeRelativePath(entry.Path));
    }
}

} // namespace
} // namespace morvane
