#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace morvane {

// A temporary copy of a source file, made before its file operation asked for it.
struct TPreparedCopy {
    QString Path;
    int64_t SourceSize = 0;
};

// Temporary copies made ahead by another thread. A file operation that copies a file through the
// temporary folder takes the file's copy from here, and makes the copy itself when none is ready.
class TPreparedCopies {
public:
    virtual ~TPreparedCopies() = default;
    // The finished copy of `source`, which the caller then owns and removes; nothing when there is none.
    virtual std::optional<TPreparedCopy> Take(const QString& source) = 0;
};

} // namespace morvane
