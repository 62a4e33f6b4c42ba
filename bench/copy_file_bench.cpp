// Copies one file the way a backup does (FileOperation to a local storage folder) and prints the
// seconds it took, for comparison with cp in bench/copy_file.sh.
#include "jobs/job.h"
#include "options/options.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SOURCE TARGET [unbuffered]\n", argv[0]);
        return 2;
    }
    morvane::TJob_FilesAndFolders job(QStringLiteral("Bench"));
    job.OptionsToJobOptions(morvane::DefaultOptions());
    job.JobOptions.Processing.DontUseBufferingForCopyOperations = argc > 3;
    QElapsedTimer timer;
    timer.start();
    const auto result =
        job.FileOperation(morvane::atCopyFromLocalToRemoteFile, QString::fromLocal8Bit(argv[1]),
                          QString::fromLocal8Bit(argv[2]), 0, true);
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (result != morvane::orSuccess) {
        std::fprintf(stderr, "%s\n", qPrintable(job.LastJobResult.Log.join(u'\n')));
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
