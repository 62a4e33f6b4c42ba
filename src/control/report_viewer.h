#pragma once

#include <QString>

namespace morvane {

// Shows one run log or one job history file to the user; the log viewer window implements it.
class IReportViewer {
public:
    virtual ~IReportViewer() = default;
    // `path` names an existing UTF-8 text file. `showErrorsWarningsControls` is true for a run log
    // (error and warning counts with navigation) and false for a history file.
    virtual void OpenReport(const QString& path, bool showErrorsWarningsControls) = 0;
};

} // namespace morvane
