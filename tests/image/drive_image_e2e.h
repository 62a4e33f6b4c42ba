#pragma once

namespace morvane::testing {

// True when the program entered a mount namespace of its own at start: the volumes the tests mount
// are then seen by it and the tools it starts, and by nothing else on the computer.
bool InPrivateMountNamespace();

} // namespace morvane::testing
