#pragma once

#include <QJsonObject>

namespace morvane {

class TJob;

// Every stored field of a job's local file, keyed by the field names; enumerations as their value
// names, date-times as the stored number. The network password shows only whether one is set.
QJsonObject JobToJson(const TJob& job);

} // namespace morvane
