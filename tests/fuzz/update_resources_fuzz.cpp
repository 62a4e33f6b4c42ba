// The update server's two text resources: the version resource (the version line, then the package
// line) and the changes. The input holds both, split at its first NUL byte. A package the check
// accepts is downloaded under its own name into the temporary folder, so the name must stay there.

#include "control/update_check.h"
#include "formats/text_file.h"
#include "fuzz_support.h"

#include <QDir>

namespace {

using namespace morvane;
using namespace morvane::fuzz;

void CheckPackage(const TUpdatePackage& package) {
    const QString folder = QStringLiteral("/downloads");
    Require(QDir::cleanPath(folder + u'/' + package.fileName).startsWith(folder + u'/'));
    Require(!package.fileName.contains(u'/') && !package.fileName.contains(u'\\') &&
            !package.fileName.startsWith(u'.'));
    Require(package.sha256.size() == 32);
}

void CheckVersionLines(const QStringList& lines) {
    for (const QString& line : lines) {
        if (const std::optional<TVersionLine> version = ParseVersionLine(line))
            Require(version->latest >= 0 && version->minimum >= 0 && !version->latestText.isEmpty());
        if (const std::optional<TUpdatePackage> package = ParsePackageLine(line))
            CheckPackage(*package);
    }
}

void CheckOffer(const TUpdateOffer& offer, const QStringList& versionLines) {
    const std::optional<TVersionLine> version = ParseVersionLine(versionLines.first());
    Require(version.has_value());
    Require(offer.MustUpdate == (version->minimum > ProgramVersionNumber));
    Require(offer.MustUpdate || version->latest > ProgramVersionNumber);
    if (offer.Package)
        CheckPackage(*offer.Package);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QByteArray input = InputBytes(data, size);
    const qsizetype split = input.indexOf('\0');
    const QStringList versionLines = SplitTextLines(split < 0 ? input : input.left(split));
    const QStringList changesLines = SplitTextLines(split < 0 ? QByteArray() : input.mid(split + 1));
    CheckVersionLines(versionLines);
    if (const std::optional<TUpdateOffer> offer = DecideUpdate(versionLines, changesLines))
        CheckOffer(*offer, versionLines);
    return 0;
}
