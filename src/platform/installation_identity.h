#pragma once

#include <QString>

namespace morvane {

// The identity of this user's configuration: a random UUID made on first use and kept in the
// application directory, so every program of the user (desktop, command line, scheduler) shares it and
// another user or computer has a different one. Job folders on the storage record it to tell their
// owner apart.

// The file that holds the identity.
QString InstallationIdentityPath();

// The identity as text (lower-case UUID without braces), creating the file when it is missing; two
// programs starting at once agree on one identity. Empty when the file cannot be read or made, or holds
// no identity; `problem` then receives the reason.
QString InstallationIdentity(QString* problem = nullptr);

} // namespace morvane
