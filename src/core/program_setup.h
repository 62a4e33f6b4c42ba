#pragma once

#include <QString>

namespace morvane {

// Creates the application directory (owner-only, it holds passwords) and the common application
// directory when missing, with an events line for each. On failure sets ClosingRequested and returns
// the text of the error box the caller shows before the program ends.
bool PrepareApplicationDirectories(QString* errorBoxText);

} // namespace morvane
