#include "formats/events_log.h"

#include "formats/text_file.h"
#include "platform/date_time.h"

#include <mutex>

namespace morvane {

namespace {

struct PendingEventsList {
    std::mutex lock;
    QStringList lines;
};

PendingEventsList& PendingEvents() {
    static PendingEventsList pending;
    return pending;
}

} // namespace

void AddToEventsLog(const QString& text) {
    const QString line = DateTimeText(CurrentDateTime()) + QStringLiteral(": ") + text;
    PendingEventsList& pending = PendingEvents();
    const std::lock_guard guard(pending.lock);
    pending.lines.append(line);
}

QStringList TakePendingEvents() {
    PendingEventsList& pending = PendingEvents();
    const std::lock_guard guard(pending.lock);
    return std::exchange(pending.lines, {});
}

} // namespace morvane

namespace morvane {

bool TEventsPanel::FlushEventsLog(int maxLines) {
    const QStringList pending = TakePendingEvents();
    lines_.append(pending);
    bool changed = !pending.isEmpty();
    while (lines_.size() > std::max(0, maxLines)) {
        lines_.removeFirst();
        changed = true;
    }
    return changed;
}

bool TEventsPanel::SaveToFile(const QString& path) const {
    return WriteTextFileLines(path, lines_);
}

} // namespace morvane
