#include "options/options.h"

#include "platform/paths.h"
#include "platform/program_state.h"
#include "platform/special_folders.h"

#include <utility>

namespace morvane {

QString DefaultLanguageOfInterface(int primaryLanguageId) {
    static constexpr std::pair<int, const char16_t*> codes[] = {
        {1, u"ar"},  {4, u"cn"},  {7, u"de"},  {8, u"el"},  {10, u"es"}, {12, u"fr"},
        {14, u"hu"}, {16, u"it"}, {17, u"jp"}, {18, u"kr"}, {19, u"nl"}, {21, u"pl"},
        {22, u"pt"}, {24, u"ro"}, {25, u"ru"}, {31, u"tr"},
    };
    const int lowByte = primaryLanguageId & 0xFF;
    for (const auto& [id, code] : codes)
        if (id == lowByte)
            return QString::fromUtf16(code);
    return QStringLiteral("en");
}

TOptions DefaultOptions() {
    TOptions options;
    options.Language.LanguageOfInterface = DefaultLanguageOfInterface(SystemUiLanguagePrimaryId());
    options.General.PathForTempFiles = JoinPath(TempDirectory(), Program().TempFolderName);
    options.Logging.PathForLogFiles = JoinPath(DocumentsFolder(), QString::fromUtf16(ApplicationTitle));
    return options;
}

TOptions& GlobalOptions() {
    static TOptions options = DefaultOptions();
    return options;
}

} // namespace morvane
