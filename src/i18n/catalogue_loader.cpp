#include "i18n/catalogue_loader.h"

#include "formats/text_file.h"
#include "platform/settings_store.h"

#include <QFile>

#include <utility>

namespace morvane {

QString DefaultCatalogueLanguageCode(int primaryLanguageId) {
    static constexpr std::pair<int, const char16_t*> codes[] = {
        {1, u"ar"},  {4, u"cn"},  {5, u"cs"},  {7, u"de"},  {8, u"el"},
        {10, u"es"}, {12, u"fr"}, {14, u"hu"}, {16, u"it"}, {17, u"jp"},
        {18, u"kr"}, {19, u"nl"}, {21, u"pl"}, {22, u"pt"}, {31, u"tr"},
    };
    const int lowByte = primaryLanguageId & 0xFF;
    for (const auto& [id, code] : codes)
        if (id == lowByte)
            return QString::fromUtf16(code);
    return QStringLiteral("en");
}

std::optional<TTranslationTable> ParseTranslationFile(const QByteArray& bytes) {
    const QStringList lines = SplitTextLines(bytes);
    if (lines.isEmpty())
        return std::nullopt;
    bool isNumber = false;
    const int languages = lines.first().trimmed().toInt(&isNumber);
    if (!isNumber || languages <= 0 || languages > lines.size())
        return std::nullopt;
    const qsizetype rows = (lines.size() - 1) / languages;
    TTranslationTable table(languages);
    for (QStringList& column : table)
        column.reserve(rows);
    for (qsizetype row = 0; row < rows; ++row)
        for (int column = 0; column < languages; ++column)
            table[column].append(lines[1 + row * languages + column]);
    return table;
}

void LoadCatalogue(const QString& path, const SettingsStore& settings, int systemPrimaryLanguageId) {
    TranslationCatalogue& catalogue = Catalogue();
    catalogue.CurrentLanguageCode = DefaultCatalogueLanguageCode(systemPrimaryLanguageId);
    if (const std::optional<QString> stored =
            settings.ReadString(QString::fromUtf16(CurrentLanguageValueName)))
        catalogue.CurrentLanguageCode = *stored;
    catalogue.CurrentLanguageIndex = 0;
    catalogue.Table.clear();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    std::optional<TTranslationTable> table = ParseTranslationFile(file.readAll());
    if (!table || file.error() != QFileDevice::NoError)
        return;
    catalogue.Table = std::move(*table);
    for (int column = 0; column < catalogue.Table.size(); ++column) {
        const QStringList& cells = catalogue.Table[column];
        if (cells.size() > 1 && cells[1].compare(catalogue.CurrentLanguageCode, Qt::CaseInsensitive) == 0) {
            catalogue.CurrentLanguageIndex = column;
            break;
        }
    }
}

bool SetInterfaceLanguage(int languageIndex, const SettingsStore& settings) {
    TranslationCatalogue& catalogue = Catalogue();
    if (languageIndex < 0 || languageIndex >= catalogue.Table.size())
        return false;
    catalogue.CurrentLanguageIndex = languageIndex;
    const QStringList& column = catalogue.Table[languageIndex];
    catalogue.CurrentLanguageCode = column.size() > 1 ? column[1] : QString();
    settings.WriteString(QString::fromUtf16(CurrentLanguageValueName), catalogue.CurrentLanguageCode);
    return true;
}

} // namespace morvane
