#include "jobs/encryptor.h"

namespace morvane {

namespace {

uint16_t NextKey(uint16_t key, uint8_t plain, const TFileKey& fileKey) {
    const auto mixed = static_cast<uint16_t>((plain + (key & 0xFF)) & 0xFF);
    return static_cast<uint16_t>(mixed * fileKey.M + fileKey.A);
}

template <bool Encrypting>
bool Transform(const uint8_t* source, std::size_t sourceLength, uint8_t* destination, const TFileKey& key,
               std::size_t destinationLength) {
    if (sourceLength != destinationLength)
        return false;
    uint16_t k = key.K0;
    for (std::size_t i = 0; i < sourceLength; ++i) {
        const auto out = static_cast<uint8_t>(source[i] ^ (k >> 8));
        destination[i] = out;
        k = NextKey(k, Encrypting ? source[i] : out, key);
    }
    return true;
}

QByteArray Apply(const QByteArray& input, bool encrypting) {
    QByteArray output(input.size(), Qt::Uninitialized);
    const auto* in = reinterpret_cast<const uint8_t*>(input.constData());
    auto* out = reinterpret_cast<uint8_t*>(output.data());
    const auto size = static_cast<std::size_t>(input.size());
    if (encrypting)
        EncryptBuffer(in, size, out, FileKey, size);
    else
        DecryptBuffer(in, size, out, FileKey, size);
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
    QByteArray stored = Apply(plain, true);
    InvertStreamBytes(stored);
    return stored;
}

QByteArray UnscrambleFileImage(const QByteArray& stored) {
    QByteArray inverted = stored;
    InvertStreamBytes(inverted);
    return Apply(inverted, false);
}

} // namespace morvane
