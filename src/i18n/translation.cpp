#include "i18n/translation.h"

namespace morvane {

QString LookupTranslation(const TTranslationTable& table, int languageIndex, const QString& text) {
    if (languageIndex <= 0 || table.isEmpty() || languageIndex >= table.size())
        return text;
    const qsizetype row = table.first().indexOf(text);
    if (row < 0 || row >= table[languageIndex].size())
        return text;
    const QString& translated = table[languageIndex][row];
    return translated.isEmpty() ? text : translated;
}

TranslationCatalogue& Catalogue() {
    static TranslationCatalogue catalogue;
    return catalogue;
}

QString Translate(const QString& text) {
    const TranslationCatalogue& catalogue = Catalogue();
    return LookupTranslation(catalogue.Table, catalogue.CurrentLanguageIndex, text);
}

} // namespace morvane

namespace morvane {

QString FormatText(const QString& pattern, const QStringList& arguments) {
    QString result;
    result.reserve(pattern.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        const QChar following = i + 1 < pattern.size() ? pattern[i + 1] : QChar();
        if (c == u'%' && following == u'%') {
            result.append(u'%');
            ++i;
        } else if (c == u'%' && (following == u's' || following == u'd')) {
            if (next < arguments.size())
                result.append(arguments[next++]);
            ++i;
        } else {
            result.append(c);
        }
    }
    return result;
}

} // namespace morvane
