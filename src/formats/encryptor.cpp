#include "formats/encryptor.h"

namespace morvane {

namespace {

uint16_t NextKey(uint16_t key, uint8_t plain, const TFileKey& fileKey) {
    const auto mixed = static_cast<uint16_t>((plain + (key & 0xFF)) & 0xFF);
    return static_cast<uint16_t>(mixed * fileKey.M + fileKey.A);
}

// One pass over the bytes; `Inverted` folds the bitwise NOT of the stored form into the same pass.
template <bool Encrypting, bool Inverted = false>
bool Transform(const uint8_t* source, std::size_t sourceLength, uint8_t* destination, const TFileKey& key,
               std::size_t destinationLength) {
    if (sourceLength != destinationLength)
        return false;
    uint16_t k = key.K0;
    for (std::size_t i = 0; i < sourceLength; ++i) {
        if constexpr (Encrypting) {
            const uint8_t plain = source[i];
            const auto out = static_cast<uint8_t>(plain ^ (k >> 8));
            destination[i] = Inverted ? static_cast<uint8_t>(~out) : out;
            k = NextKey(k, plain, key);
        } else {
            const auto in = Inverted ? static_cast<uint8_t>(~source[i]) : source[i];
            const auto plain = static_cast<uint8_t>(in ^ (k >> 8));
            destination[i] = plain;
            k = NextKey(k, plain, key);
        }
    }
    return true;
}

template <bool Encrypting> QByteArray ApplyInverted(const QByteArray& input) {
    QByteArray output(input.size(), Qt::Uninitialized);
    const auto size = static_cast<std::size_t>(input.size());
    Transform<Encrypting, true>(reinterpret_cast<const uint8_t*>(input.constData()), size,
                                reinterpret_cast<uint8_t*>(output.data()), FileKey, size);
    return output;
}

} // namespace

bool EncryptBuffer(const uint8_t* source, std::size_t sourceLength, uint8_t* destination, const TFileKey& key,
                   std::size_t destinationLength) {
    return Transform<true>(source, sourceLength, destination, key, destinationLength);
}

bool DecryptBuffer(const uint8_t* source, std::size_t sourceLength, uint8_t* destination, const TFileKey& key,
                   std::size_t destinationLength) {
    return Transform<false>(source, sourceLength, destination, key, destinationLength);
}

void InvertStreamBytes(QByteArray& stream) {
    for (char& byte : stream)
        byte = static_cast<char>(~static_cast<unsigned char>(byte));
}

QByteArray ScrambleFileImage(const QByteArray& plain) {
    return ApplyInverted<true>(plain);
}

QByteArray UnscrambleFileImage(const QByteArray& stored) {
    return ApplyInverted<false>(stored);
}

} // namespace morvane
