#pragma once

#include <QIcon>

namespace morvane {

// The program's own icon: drawn pictures at the usual sizes, the scalable drawing for the others.
QIcon ApplicationIcon();

} // namespace morvane
