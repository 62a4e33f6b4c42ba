#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Marks an English text that reaches the translation lookup later, through a variable, so the
// catalogue check finds it.
#define TR_NOOP(text) QStringLiteral(text)

namespace morvane {

// One column per language, each with the same number of rows; column 0 is English. Row 0 holds the
// language's own name, row 1 its code, every further row one text.
using TTranslationTable = QList<QStringList>;

// The text in column `languageIndex` of the first row whose English cell equals `text` exactly;
// the text itself when the index is 0, nothing matches or the translation is empty.
QString LookupTranslation(const TTranslationTable& table, int languageIndex, const QString& text);

// The process-wide catalogue, read and changed on the user-interface thread only.
struct TranslationCatalogue {
    QString CurrentLanguageCode = QStringLiteral("en");
    int CurrentLanguageIndex = 0;
    TTranslationTable Table;
};

TranslationCatalogue& Catalogue();

// The shared translation lookup over the catalogue; user-interface thread only (workers translate
// through their job's copy).
QString Translate(const QString& text);

} // namespace morvane

namespace morvane {

// Puts the arguments into the "%s" and "%d" places of an already translated text, in order; "%%"
// stands for one percent sign. Arguments are never scanned for places themselves.
QString FormatText(const QString& pattern, const QStringList& arguments);

} // namespace morvane
