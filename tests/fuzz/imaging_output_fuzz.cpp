// The imaging tool's output, in pieces as the run reads them from its pipe (the first byte picks the
// piece size, so multi-byte characters and CR LF pairs get cut). Every line the run log receives must
// be one line, and each error counted must come from a line of its own.

#include "fuzz_support.h"
#include "image/imaging_output.h"
#include "jobs/job.h"

#include <algorithm>

namespace {

using namespace morvane;
using namespace morvane::fuzz;

qsizetype PieceSize(uint8_t choice) {
    return choice == 0 ? TImagingOutput::ChunkSize : choice;
}

// At most one error a line: a piece has one line more than it has line breaks.
qsizetype MostErrors(const QByteArray& output, qsizetype pieces) {
    return pieces + output.count('\n') + output.count('\r');
}

void CheckRunLog(const TJob& job) {
    for (const QString& line : job.LastJobResult.Log)
        Require(!line.contains(u'\n') && !line.contains(u'\r'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const QByteArray output = InputBytes(data + 1, size - 1);
    const qsizetype pieceSize = PieceSize(data[0]);
    TJob_DriveImage job(QStringLiteral("Fuzz"));
    TImagingOutput reader(job);
    qsizetype pieces = 0;
    for (qsizetype at = 0; at < output.size(); at += pieceSize, ++pieces)
        reader.HandleChunk(output.mid(at, std::min(pieceSize, output.size() - at)));
    CheckRunLog(job);
    Require(job.LastJobResult.ErrorsCount.load() <= MostErrors(output, pieces));
    Require(job.CurrentFileOperationPath.Text().size() <= TCurrentFileOperationPath::StoredUnits);
    return 0;
}
