#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace morvane {

// File names on Linux are bytes, not text. These two turn any byte string into a QString and back
// without loss: valid UTF-8 reads as the text it encodes; each byte of an invalid sequence becomes the
// lone surrogate U+DC00 + byte (U+DC80..U+DCFF) and turns back into that byte.

QString NameFromBytes(QByteArrayView bytes);
QByteArray NameToBytes(QStringView name);

// True when the name holds a lone surrogate, i.e. stands for bytes that are not valid UTF-8.
bool HasEscapedBytes(QStringView name);

} // namespace morvane
