// The options file, as the plain image the fuzzer shapes (stored scrambled, as the program writes
// it). Options that load must save and load again to the same bytes.

#include "formats/encryptor.h"
#include "fuzz_support.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/paths.h"

namespace {

using namespace morvane;
using namespace morvane::fuzz;

QByteArray SavedImage(const TOptions& options, const QString& name) {
    Require(SaveOptions(options, JoinPath(ScratchFolder(), name)));
    return UnscrambleFileImage(ReadScratchFile(name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QString path =
        WriteScratchFile(QStringLiteral("fuzz.qko"), ScrambleFileImage(InputBytes(data, size)));
    TOptions loaded = DefaultOptions();
    if (LoadOptions(loaded, path)) {
        const QByteArray first = SavedImage(loaded, QStringLiteral("first.qko"));
        TOptions again = DefaultOptions();
        Require(LoadOptions(again, JoinPath(ScratchFolder(), QStringLiteral("first.qko"))));
        Require(SavedImage(again, QStringLiteral("second.qko")) == first);
    }
    DropPendingEvents();
    return 0;
}
