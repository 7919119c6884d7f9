#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "foundation/shared_string.h"
#include "imaging/plane_geometry.h"

// How far a monitor looks ahead in the list for a picture of its own
// orientation before it takes whatever comes next.
inline constexpr uint32_t kOrientationLookAhead = 16;

// A picture's size read from its header, without decoding its pixels;
// nothing when that cannot be done.
using PictureSizeProbe = std::function<std::optional<Orvex::PlaneSize>(const Orvex::SharedString&)>;

// Whether a picture of `size` suits a monitor: portrait pictures portrait
// monitors, landscape pictures landscape ones; a square picture, or one
// whose size is unknown, suits either.
bool SuitsMonitor(const std::optional<Orvex::PlaneSize>& size, bool portrait_monitor);

// Takes the picture after `position` in `list` for one monitor and makes
// `position` its index. That is the first of the next kOrientationLookAhead
// pictures that suits the monitor, else the very next one. A suitable
// picture found further on is moved up to be the next: the ones it passed
// keep their order behind it and come up in later changes. Nothing for an
// empty list.
std::optional<uint32_t> TakeNextForMonitor(std::vector<Orvex::SharedString>& list,
                                           uint32_t& position, bool portrait_monitor,
                                           const PictureSizeProbe& probe);
