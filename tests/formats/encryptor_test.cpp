#include "formats/encryptor.h"

#include <gtest/gtest.h>

#include <random>

namespace morvane {
namespace {

// The stored bytes of a known plain text pin the algorithm and the key: files written by earlier
// builds must stay readable.
TEST(EncryptorTest, KnownPlainTextGivesTheKnownStoredBytes) {
    const QByteArray plain("Morvane");
    const QByteArray expected("\x03\x9C\xC3\x98\x67\xE2\x0A", 7);
    EXPECT_EQ(ScrambleFileImage(plain), expected);
    EXPECT_EQ(UnscrambleFileImage(expected), plain);
}

TEST(EncryptorTest, RoundTripsAnyBytes) {
    std::mt19937 random(42);
    for (const int size : {0, 1, 2, 255, 4096}) {
        QByteArray plain(size, Qt::Uninitialized);
        for (char& byte : plain)
            byte = static_cast<char>(random());
        EXPECT_EQ(UnscrambleFileImage(ScrambleFileImage(plain)), plain) << size;
    }
}

TEST(EncryptorTest, DifferentLengthsAreRefusedAndNothingIsWritten) {
    const uint8_t source[4] = {1, 2, 3, 4};
    uint8_t destination[3] = {9, 9, 9};
    EXPECT_FALSE(EncryptBuffer(source, 4, destination, FileKey, 3));
    EXPECT_FALSE(DecryptBuffer(source, 4, destination, FileKey, 3));
    EXPECT_EQ(destination[0], 9);
    EXPECT_EQ(destination[2], 9);
}

TEST(EncryptorTest, InvertFlipsEveryBit) {
    QByteArray bytes("\x00\xFF\x0F", 3);
    InvertStreamBytes(bytes);
    EXPECT_EQ(bytes, QByteArray("\xFF\x00\xF0", 3));
}

} // namespace
} // namespace morvane
