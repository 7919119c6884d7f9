#pragma once

#include <optional>
#include <string>

#include "app/monitors.h"

// Plasma keeps its outputs' layout in KScreen; kscreen-doctor prints it as
// JSON. It knows the layout in Wayland sessions, where X cannot be asked.

// The enabled outputs in `kscreen-doctor -j`'s JSON: each one's rectangle
// in the layout's pixels (its current mode turned as the output is, divided
// by its scale), the primary flag and its name. Nothing when the text holds
// no output that can be measured.
std::optional<MonitorList> KScreenMonitors(const std::string& json);

// Asks kscreen-doctor; nothing when it is missing or fails.
std::optional<MonitorList> QueryKScreenMonitors();
