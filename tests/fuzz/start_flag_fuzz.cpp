// The start flag a backup run leaves in the job folder on the storage. Its first line names the
// folder of the interrupted run, which the next run renames or removes: a name it accepts must name
// an entry inside the job folder, also where a network share reads "\" as a separator.

#include "engine/backup_layout.h"
#include "engine/storage_names.h"
#include "fuzz_support.h"

#include <QDir>

namespace {

using namespace morvane;
using namespace morvane::fuzz;

// Judged by path arithmetic, apart from the check itself.
bool NamesEntryInside(QString name) {
    const QString folder = QStringLiteral("/job");
    const QString joined = QDir::cleanPath(folder + u'/' + name.replace(u'\\', u'/'));
    return joined.startsWith(folder + u'/') && !name.contains(QChar(0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const QString path = WriteScratchFile(QStringLiteral("_startflag.qkl"), InputBytes(data, size));
    const QStringList lines = ReadTextFileLines(path);
    const QStringList storedBackups = {QStringLiteral("Full)"), QStringLiteral("2024-05-01 10;00;00 (Full)")};
    const bool completed = StartFlagShowsCompletedRun(lines, storedBackups, QByteArrayLiteral("stored copy"));
    if (!completed && !lines.isEmpty() && IsSafeFolderName(lines.first()))
        Require(NamesEntryInside(lines.first()));
    return 0;
}
