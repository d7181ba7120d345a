#pragma once

#include <QString>

#include <array>

namespace platform {
class SettingsStore;
}

namespace mainwindow {

// The four option boxes, remembered in section "Form1" (beside what window_settings.h keeps), keys
// "check1" to "check4", each the box's state 0 (unticked), 1 (ticked) or 2 (greyed).
using OptionStates = std::array<int, 4>;

// A stored text as a box state; anything but a valid state leaves the box unticked.
int optionStateFromText(const QString& text);

OptionStates restoreOptionStates(platform::SettingsStore& store);
void saveOptionStates(platform::SettingsStore& store, const OptionStates& states);

} // namespace mainwindow
