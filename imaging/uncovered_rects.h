#pragma once

#include <vector>

#include "imaging/plane_geometry.h"

namespace Orvex {

// The parts of target that destination leaves uncovered, as up to four
// non-empty bands in this order: top, left, right, bottom. Together with
// the destination (clipped to the target) they tile the target exactly.
// A destination that misses the target leaves the whole target uncovered.
std::vector<PlaneRect> GetUncoveredRects(const PlaneRect& target, const PlaneRect& destination);

}  // namespace Orvex
