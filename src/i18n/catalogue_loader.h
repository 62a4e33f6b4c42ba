#pragma once

#include "i18n/translation.h"

#include <QString>

#include <optional>

namespace morvane {

class SettingsStore;

// Name of the settings value that keeps the interface language code.
inline constexpr char16_t CurrentLanguageValueName[] = u"CurrentLanguage";

// The catalogue's default language code for a primary UI language identifier.
QString DefaultCatalogueLanguageCode(int primaryLanguageId);

// Parses the text of a translation file: line 1 the number of languages L, then the cells row by row,
// L lines per row. Rows of an incomplete last row are ignored. Nothing when line 1 is not a positive
// number.
std::optional<TTranslationTable> ParseTranslationFile(const QByteArray& bytes);

// Loads the catalogue from the file at `path`, choosing the language stored in `settings` or the
// system's default. A missing or damaged file leaves the program in English with an empty table.
void LoadCatalogue(const QString& path, const SettingsStore& settings, int systemPrimaryLanguageId);

// Selects the language of a column and keeps its code in the settings; false for an invalid index.
bool SetInterfaceLanguage(int languageIndex, const SettingsStore& settings);

} // namespace morvane
