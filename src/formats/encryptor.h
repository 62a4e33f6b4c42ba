#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace morvane {

// The scrambling key of job and options files: multiplier, increment and start value of the
// running 16-bit key stream. Files written with another key cannot be read.
struct TFileKey {
    uint16_t M;
    uint16_t A;
    uint16_t K0;
};

inline constexpr TFileKey FileKey{0x9E3B, 0x3C6F, 0xB1A7};

// Both return false and touch nothing when the lengths differ. The key stream advances with the
// plain byte, so encryption and decryption differ only in which side that byte is on.
bool EncryptBuffer(const uint8_t* source, std::size_t sourceLength, uint8_t* destination, const TFileKey& key,
                   std::size_t destinationLength);
bool DecryptBuffer(const uint8_t* source, std::size_t sourceLength, uint8_t* destination, const TFileKey& key,
                   std::size_t destinationLength);

// Replaces every byte by its bitwise NOT.
void InvertStreamBytes(QByteArray& stream);

// The stored form of a plain file image, and back: encrypted with FileKey, then inverted.
QByteArray ScrambleFileImage(const QByteArray& plain);
QByteArray UnscrambleFileImage(const QByteArray& stored);

} // namespace morvane
