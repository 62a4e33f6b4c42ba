#include "formats/text_file.h"

#include <QSaveFile>

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
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    QStringList lines = text.split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace morvane
