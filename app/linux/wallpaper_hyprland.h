#pragma once

#include <optional>
#include <string>

#include "app/monitors.h"
#include "imaging/plane_geometry.h"

// The screen size in hyprctl's JSON list of monitors: the mode of the
// focused monitor, else of the first, in pixels as the monitor is turned.
// Nothing when the list holds no usable size.
std::optional<Orvex::PlaneSize> HyprlandScreenSize(const std::string& monitors_json);

// The monitors in hyprctl's JSON list, keyed by their names, laid out as
// SwayMonitors lays out sway's outputs (Hyprland positions them in logical
// pixels too); the focused one stands for the primary.
MonitorList HyprlandMonitors(const std::string& monitors_json);
