#include "control/window_placement.h"

namespace morvane {

namespace {

std::optional<int> ReadInteger(const SettingsStore& settings, const QString& name) {
    const std::optional<QString> text = settings.ReadString(name);
    if (!text)
        return std::nullopt;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

void WriteInteger(const SettingsStore& settings, const QString& name, int value) {
    settings.WriteString(name, QString::number(value));
}

} // namespace

bool TWindowPlacement::AnyStored() const {
    return X || Y || Width || Height || Maximised || EventsHeight;
}

TWindowPlacement TWindowPlacement::Load(const SettingsStore& settings) {
    TWindowPlacement placement;
    placement.X = ReadInteger(settings, QStringLiteral("window_x"));
    placement.Y = ReadInteger(settings, QStringLiteral("window_y"));
    placement.Width = ReadInteger(settings, QStringLiteral("window_w"));
    placement.Height = ReadInteger(settings, QStringLiteral("window_h"));
    if (settings.ReadString(QStringLiteral("window_m")))
        placement.Maximised = ReadInteger(settings, QStringLiteral("window_m")) == 1;
    placement.EventsHeight = ReadInteger(settings, QStringLiteral("events_height"));
    return placement;
}

void TWindowPlacement::Save(const SettingsStore& settings) const {
    WriteInteger(settings, QStringLiteral("window_x"), X.value_or(0));
    WriteInteger(settings, QStringLiteral("window_y"), Y.value_or(0));
    WriteInteger(settings, QStringLiteral("window_w"), Width.value_or(0));
    WriteInteger(settings, QStringLiteral("window_h"), Height.value_or(0));
    WriteInteger(settings, QStringLiteral("window_m"), Maximised.value_or(false) ? 1 : 0);
    WriteInteger(settings, QStringLiteral("view_as_cards"), 0);
    WriteInteger(settings, QStringLiteral("events_visible"), 1);
    WriteInteger(settings, QStringLiteral("events_height"), EventsHeight.value_or(0));
}

} // namespace morvane
