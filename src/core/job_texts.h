#pragma once

#include <QString>

namespace morvane {

class TJob;

// The translated last result of an idle job: "Never started", "Cancelled on …", "Finished with
// errors on …", "Finished with warnings on …" or "Finished on …".
QString LastResultText(const TJob& job);

} // namespace morvane
