#pragma once

namespace morvane::imager {

// SIGTERM, SIGINT and SIGHUP ask a running backup to stop; the backup looks at the request between
// files and between data blocks, and removes its unfinished version before it ends.
void InstallStopHandlers();
bool StopRequested();

} // namespace morvane::imager
