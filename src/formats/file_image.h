#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <stdexcept>

namespace morvane {

// A stored file whose content cannot be read: too short for its fields, or holding a value no writer
// produces.
class FileImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds the plain image of a job or options file: little-endian numbers, strings as a UTF-16 unit
// count followed by UTF-16LE text.
class FileImageWriter {
public:
    void Int32(int32_t value);
    void Int64(int64_t value);
    void Bool8(bool value) { bytes_.append(value ? '\1' : '\0'); }
    void Enum8(uint8_t ordinal) { bytes_.append(static_cast<char>(ordinal)); }
    void Enum32(uint8_t ordinal) { Int32(ordinal); }
    void DateTime(double value);
    void String(const QString& value);
    void StringList(const QStringList& values);

    const QByteArray& Bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

// Reads a plain image field by field; every read checks the bytes left and throws FileImageError
// instead of reading past the end, so damaged or hostile files cannot make it misbehave.
class FileImageReader {
public:
    explicit FileImageReader(const QByteArray& bytes) : bytes_(bytes) {}

    int32_t Int32();
    int64_t Int64();
    bool Bool8();
    double DateTime();
    QString String();
    QStringList StringList();
    // Enumerations keep the low byte of the stored value; an ordinal beyond the last value is refused.
    uint8_t Enum8(int valueCount);
    uint8_t Enum32(int valueCount);

    qsizetype Position() const { return position_; }
    qsizetype Remaining() const { return bytes_.size() - position_; }

private:
    const char* Take(qsizetype count);
    static uint8_t CheckOrdinal(uint8_t ordinal, int valueCount);

    QByteArray bytes_;
    qsizetype position_ = 0;
};

} // namespace morvane
