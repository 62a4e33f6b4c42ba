#pragma once

#include <mutex>

namespace morvane {

// Qt passes queued calls and finished threads between threads through locks that ThreadSanitizer
// cannot see, so the results a worker leaves for the interface thread would look unordered to it.
// A worker holds this lock while it hands a result over, and the receiver takes it before reading
// the result: an uncontended lock that makes the order visible.
inline std::mutex& ThreadHandoverLock() {
    static std::mutex lock;
    return lock;
}

// Marks the end of a worker's writes, or the start of the receiver's reads.
inline void MarkThreadHandover() {
    const std::lock_guard lock(ThreadHandoverLock());
}

} // namespace morvane
