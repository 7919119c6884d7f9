#pragma once

#include <optional>
#include <string>

#include "imaging/plane_geometry.h"

// The screen size in swaymsg's JSON list of outputs: the largest output's
// mode, since the wallpaper is stretched onto each. Nothing when the list
// holds no usable size (outputs that are off have no mode).
std::optional<Orvex::PlaneSize> SwayScreenSize(const std::string& outputs_json);
