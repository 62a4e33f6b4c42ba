#pragma once

#include "platform/settings_store.h"

#include <optional>

namespace morvane {

// The main window's placement as the settings key keeps it: "window_x", "window_y", "window_w",
// "window_h", "window_m" (1 maximised), "events_height", and "view_as_cards" (always 0) and
// "events_visible" (always 1), which are written but never read.
struct TWindowPlacement {
    std::optional<int> X;
    std::optional<int> Y;
    std::optional<int> Width;
    std::optional<int> Height;
    // Present when "window_m" is: true for 1, false for any other value.
    std::optional<bool> Maximised;
    std::optional<int> EventsHeight;

    // True when any value was read: the window is then placed by them instead of centred.
    bool AnyStored() const;

    // Reads what is present; a missing key or value (or one that is no number) leaves that field empty.
    static TWindowPlacement Load(const SettingsStore& settings);
    // Writes all eight values, creating the key; failures are silent. Fields left empty are written as 0.
    void Save(const SettingsStore& settings) const;
};

} // namespace morvane
