#include "storage/storage_helpers.h"

#include "platform/local_files.h"
#include "platform/paths.h"
#include "storage/storage_fs.h"

#include <QLocale>

#include <cerrno>
#include <cmath>

namespace morvane {

namespace {

// The character that follows the hours in the user's long time format, ":" when there is none.
QChar TimeSeparator() {
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    qsizetype at = format.indexOf(u'h', 0, Qt::CaseInsensitive);
    while (at >= 0 && at < format.size() && (format[at] == u'h' || format[at] == u'H'))
        ++at;
    return at > 0 && at < format.size() && !format[at].isLetter() && format[at] != u'\'' ? format[at]
                                                                                         : QChar(u':');
}

} // namespace

QString MakeLongPath(const QString& path, bool IsDirectory) {
    const qsizetype limit = IsDirectory ? 247 : 260;
    if (path.size() < limit)
        return path;
    if (path.startsWith(QStringLiteral("\\\\")))
        return QStringLiteral("\\\\?\\UNC\\") + path.mid(2);
    return QStringLiteral("\\\\?\\") + path;
}

int64_t GetFileSize64(const QString& path) {
    TLocalEntry entry;
    if (LocalStat(path, entry) != 0 || !entry.Exists)
        return -1;
    return entry.Size;
}

QString FileTimeStampText(TDateTime value) {
    const QString separator(TimeSeparator());
    const QString pattern = QStringLiteral("yyyy-MM-dd HH'%1'mm'%1'ss'%1'zzz").arg(separator);
    return FromDateTimeValue(value).toString(pattern);
}

QString SizeText(int64_t size) {
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    int k = 1;
    while (k < 8 && static_cast<long double>(size) > std::pow(1024.0L, k + 1))
        ++k;
    const double value = static_cast<double>(static_cast<long double>(size) / std::pow(1024.0L, k));
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    // Two decimals at most, rounded half away from zero, trailing zeros dropped.
    const double rounded = std::round(value * 100.0) / 100.0;
    QString text = locale.toString(rounded, 'f', 2);
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text + u' ' + QString::fromLatin1(units[k - 1]);
}

bool ForceDeleteShell(const QString& path) {
    TLocalEntry entry;
    if (LocalStat(path, entry) != 0 || !entry.Exists)
        throw TStorageError(ENOENT, QStringLiteral("Failed to create shell item: ") + path);
    return LocalRemoveTree(path) == 0;
}

bool IsInternalFile(const QString& path) {
    const QString extension = ExtractFileExt(path);
    return extension == QStringLiteral(".bmj") || extension == QStringLiteral(".qkl");
}

} // namespace morvane
