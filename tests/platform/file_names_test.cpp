#include "platform/file_names.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

// Every byte string a Linux name can be comes back unchanged; valid UTF-8 reads as its text, and only
// the bytes outside it become lone surrogates.
TEST(FileNamesTest, AnyBytesRoundTripAndValidUtf8ReadsAsText) {
    struct Case {
        QByteArray bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain.txt", true},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},
        {"line\nbreak\r", true},
        {"\xEF\xBF\xBE", true},          // a noncharacter is still valid UTF-8
        {"\xEF\xBB\xBFreport", true},    // U+FEFF starting a name is part of it, not a byte-order mark
        {"\xFF\xFE", false},             // bytes that start nothing
        {"latin1 \xE9t\xE9", false},     // a name from another code page
        {"\xC0\xAF", false},             // an overlong "/"
        {"\xED\xA0\x80", false},         // an encoded high surrogate
        {"\xED\xB3\xBF", false},         // an encoded surrogate that looks like an escape
        {"\xF4\x90\x80\x80", false},     // above U+10FFFF
        {"\xF0\x9F\x98", false},         // cut short
        {"\xF0\x9F\x98\x80\x80", false}, // a valid character followed by a stray continuation
        {"\xE2\x82", false},             // cut short at the end
        {"a\x80"
         "b\xC3\xA9\xC3",
         false},                     // mixed
        {"\xFF\xEF\xBB\xBF", false}, // U+FEFF after an invalid byte
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.toHex().toStdString());
        const QString name = NameFromBytes(c.bytes);
        EXPECT_EQ(NameToBytes(name), c.bytes);
        EXPECT_EQ(HasEscapedBytes(name), !c.valid);
        // The letter in front keeps the plain conversion from taking a U+FEFF for a byte-order mark.
        if (c.valid) {
            EXPECT_EQ(name, QString::fromUtf8("x" + c.bytes).mid(1));
        }
    }
    // Two names that differ only in their invalid bytes stay apart.
    EXPECT_NE(NameFromBytes("\xFF"), NameFromBytes("\xFE"));
    EXPECT_NE(NameFromBytes("\xFF"), NameFromBytes("\xEF\xBF\xBD")); // not the replacement character
    EXPECT_NE(NameFromBytes("\xEF\xBB\xBFreport"), NameFromBytes("report"));
}

} // namespace
} // namespace morvane
