#include "formats/file_image.h"

#include <QtEndian>

#include <bit>
#include <cstring>

namespace morvane {

void FileImageWriter::Int32(int32_t value) {
    char raw[4];
    qToLittleEndian(value, raw);
    bytes_.append(raw, 4);
}

void FileImageWriter::Int64(int64_t value) {
    char raw[8];
    qToLittleEndian(value, raw);
    bytes_.append(raw, 8);
}

void FileImageWriter::DateTime(double value) {
    Int64(std::bit_cast<int64_t>(value));
}

void FileImageWriter::String(const QString& value) {
    Int32(static_cast<int32_t>(value.size()));
    if constexpr (std::endian::native == std::endian::little) {
        bytes_.append(reinterpret_cast<const char*>(value.utf16()), value.size() * 2);
        return;
    }
    for (const QChar unit : value) {
        char raw[2];
        qToLittleEndian(unit.unicode(), raw);
        bytes_.append(raw, 2);
    }
}

void FileImageWriter::StringList(const QStringList& values) {
    Int32(static_cast<int32_t>(values.size()));
    for (const QString& value : values)
        String(value);
}

const char* FileImageReader::Take(qsizetype count) {
    if (count < 0 || count > Remaining())
        throw FileImageError("the file ends before its last field");
    const char* start = bytes_.constData() + position_;
    position_ += count;
    return start;
}

int32_t FileImageReader::Int32() {
    return qFromLittleEndian<int32_t>(Take(4));
}

int64_t FileImageReader::Int64() {
    return qFromLittleEndian<int64_t>(Take(8));
}

bool FileImageReader::Bool8() {
    return *Take(1) != 0;
}

double FileImageReader::DateTime() {
    return std::bit_cast<double>(Int64());
}

QString FileImageReader::String() {
    const int32_t units = Int32();
    if (units <= 0)
        return {};
    if (units > Remaining() / 2)
        throw FileImageError("a text runs past the end of the file");
    const char* raw = Take(qsizetype(units) * 2);
    QString text(units, Qt::Uninitialized);
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(text.data(), raw, std::size_t(units) * 2);
        return text;
    }
    for (int32_t i = 0; i < units; ++i)
        text[i] = QChar(qFromLittleEndian<char16_t>(raw + 2 * i));
    return text;
}

QStringList FileImageReader::StringList() {
    const int32_t count = Int32();
    QStringList values;
    if (count <= 0)
        return values;
    // Every entry takes at least its 4-byte length, so a larger count cannot be genuine.
    if (count > Remaining() / 4)
        throw FileImageError("a list claims more entries than the file holds");
    values.reserve(count);
    for (int32_t i = 0; i < count; ++i)
        values.append(String());
    return values;
}

uint8_t FileImageReader::CheckOrdinal(uint8_t ordinal, int valueCount) {
    if (ordinal >= valueCount)
        throw FileImageError("an enumeration holds a value beyond its last one");
    return ordinal;
}

uint8_t FileImageReader::Enum8(int valueCount) {
    return CheckOrdinal(static_cast<uint8_t>(*Take(1)), valueCount);
}

uint8_t FileImageReader::Enum32(int valueCount) {
    return CheckOrdinal(static_cast<uint8_t>(Int32() & 0xFF), valueCount);
}

} // namespace morvane
