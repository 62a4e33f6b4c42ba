#include "platform/file_names.h"

#include <QStringDecoder>

#include <cstdint>

namespace morvane {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool IsContinuation(uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `at` (surrogates, overlong forms and code points above
// U+10FFFF are invalid), or 0.
qsizetype ValidSequenceLength(QByteArrayView bytes, qsizetype at) {
    const auto byte = [&](qsizetype i) {
        return static_cast<uint8_t>(bytes[at + i]);
    };
    const uint8_t lead = byte(0);
    if (lead < 0x80)
        return 1;
    qsizetype length = 0;
    uint8_t low = 0x80;
    uint8_t high = 0xBF; // bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || byte(1) < low || byte(1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i)
        if (!IsContinuation(byte(i)))
            return 0;
    return length;
}

bool IsStrictUtf8(QByteArrayView bytes) {
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = ValidSequenceLength(bytes, at);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

// QString::fromUtf8 drops a U+FEFF that starts what it converts, taking it for a byte-order mark; in
// a name it is a character, and dropping it would name another file.
QStringDecoder KeepingDecoder() {
    return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
}

// Decodes valid sequences and escapes every byte that does not start one.
QString DecodeEscaping(QByteArrayView bytes) {
    QStringDecoder decoder = KeepingDecoder();
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype length = ValidSequenceLength(bytes, at);
        if (length == 0) {
            name.append(QChar(static_cast<char16_t>(EscapeBase + static_cast<uint8_t>(bytes[at]))));
            ++at;
            continue;
        }
        name.append(decoder(bytes.sliced(at, length)));
        at += length;
    }
    return name;
}

void AppendCodePoint(QByteArray& bytes, char32_t code) {
    if (code < 0x80) {
        bytes.append(static_cast<char>(code));
    } else if (code < 0x800) {
        bytes.append(static_cast<char>(0xC0 | (code >> 6)));
        bytes.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        bytes.append(static_cast<char>(0xE0 | (code >> 12)));
        bytes.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        bytes.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        bytes.append(static_cast<char>(0xF0 | (code >> 18)));
        bytes.append(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        bytes.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        bytes.append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool HasSurrogate(QStringView name) {
    for (const QChar c : name)
        if (c.isSurrogate())
            return true;
    return false;
}

} // namespace

QString NameFromBytes(QByteArrayView bytes) {
    if (!IsStrictUtf8(bytes))
        return DecodeEscaping(bytes);
    QStringDecoder decoder = KeepingDecoder();
    return decoder(bytes);
}

QByteArray NameToBytes(QStringView name) {
    if (!HasSurrogate(name))
        return name.toUtf8();
    QByteArray bytes;
    bytes.reserve(name.size() * 3);
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode())) {
            AppendCodePoint(bytes, QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
            ++i;
        } else if (unit >= EscapeBase + 0x80 && unit <= EscapeBase + 0xFF) {
            bytes.append(static_cast<char>(unit - EscapeBase));
        } else {
            // A lone surrogate no name decodes to: written in the generalised form, so that two
            // different texts never give the same bytes.
            AppendCodePoint(bytes, unit);
        }
    }
    return bytes;
}

bool HasEscapedBytes(QStringView name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < name.size() &&
            QChar::isLowSurrogate(name[i + 1].unicode()))
            ++i;
        else if (QChar::isSurrogate(unit))
            return true;
    }
    return false;
}

} // namespace morvane
