#include "formats/text_file.h"

#include <QSaveFile>
#include <QStringDecoder>

namespace morvane {

bool WriteTextFileLines(const QString& path, const QStringList& lines) {
    QByteArray text("\xEF\xBB\xBF");
    for (const QString& line : lines)
        text += line.toUtf8() + "\r\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return false;
    return file.commit();
}

QStringList SplitTextLines(const QByteArray& bytes) {
    // Only the file's own byte-order mark goes: a U+FEFF that starts the first line is text (a file
    // name may begin with one), and the plain UTF-8 conversion would drop it as a second mark.
    const QByteArrayView mark("\xEF\xBB\xBF");
    const QByteArrayView body = bytes.startsWith(mark) ? QByteArrayView(bytes).sliced(mark.size()) : bytes;
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(body);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace morvane
