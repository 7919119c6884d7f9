#pragma once

#include <optional>
#include <string>

#include "app/monitors.h"
#include "imaging/plane_geometry.h"

// The screen size in swaymsg's JSON list of outputs: the largest output's
// mode, since the wallpaper is stretched onto each. Nothing when the list
// holds no usable size (outputs that are off have no mode).
std::optional<Orvex::PlaneSize> SwayScreenSize(const std::string& outputs_json);

// The active outputs in swaymsg's JSON list, keyed by their names. sway
// lays them out in logical pixels; all rectangles are scaled by the
// largest output scale, so that the sharpest output gets a picture of its
// own pixels and none overlap. sway has no primary output: the focused one
// stands for it. Empty when the list holds none.
MonitorList SwayMonitors(const std::string& outputs_json);
