// The translation file beside the program, read at every start. A table that parses must be
// rectangular with the stated number of languages, and every text looked up in it must format.

#include "fuzz_support.h"
#include "i18n/catalogue_loader.h"
#include "i18n/translation.h"

namespace {

using namespace morvane;
using namespace morvane::fuzz;

void CheckTableShape(const TTranslationTable& table) {
    Require(!table.isEmpty());
    for (const QStringList& column : table)
        Require(column.size() == table.first().size());
}

// A translation comes from the file and may hold more, fewer or other places than its English text.
// The first rows are enough: each lookup scans the table.
void LookUpTexts(const TTranslationTable& table) {
    const QStringList english = table.first().mid(0, 64);
    for (int language = 0; language < table.size(); ++language)
        for (const QString& text : english)
            FormatText(LookupTranslation(table, language, text), {QStringLiteral("a"), QStringLiteral("1")});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (const std::optional<TTranslationTable> table = ParseTranslationFile(InputBytes(data, size))) {
        CheckTableShape(*table);
        LookUpTexts(*table);
    }
    return 0;
}
