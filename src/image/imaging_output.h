#pragma once

#include <QByteArray>
#include <QString>

namespace morvane {

class TJob;

// Turns the imaging tool's output into the job's progress, run-log lines and error count.
class TImagingOutput {
public:
    // The largest piece of output read from the tool at once.
    static constexpr qsizetype ChunkSize = 2400;

    explicit TImagingOutput(TJob& job) : job_(job) {}

    // Handles one piece of output as read. Its lines are taken on their own: a line cut by the end of
    // a piece counts as two lines.
    void HandleChunk(const QByteArray& chunk);

private:
    void HandleLine(const QString& line);

    TJob& job_;
};

} // namespace morvane
