#pragma once

#include <QString>

namespace morvane::testing {

// Empty when the test program runs in a mount namespace of its own; otherwise why it does not.
QString PrivateMountsRefusal();

} // namespace morvane::testing
