#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace morvane::fuzz {

// Stops the fuzzer with a crash report: a property of what a reader accepted does not hold.
inline void Require(bool property) {
    if (!property)
        __builtin_trap();
}

inline QByteArray InputBytes(const uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A folder of this process's own, made on first use and removed at exit; inputs that readers take
// by path are written there, one file overwritten per input, so nothing piles up.
QString ScratchFolder();
// Writes `bytes` to `name` in the scratch folder and returns its path.
QString WriteScratchFile(const QString& name, const QByteArray& bytes);
QByteArray ReadScratchFile(const QString& name);

// Readers report damaged files in the events log, which grows until a tick takes it: each input
// empties it.
void DropPendingEvents();

} // namespace morvane::fuzz
