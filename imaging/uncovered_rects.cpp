#include "imaging/uncovered_rects.h"

namespace Orvex {

std::vector<PlaneRect> GetUncoveredRects(const PlaneRect& target, const PlaneRect& destination) {
  std::vector<PlaneRect> bands;
  if (target.IsEmpty()) return bands;
  // Measured against the part of the destination inside the target, the
  // bands neither stick out of the target nor overlap each other.
  const PlaneRect d = Intersect(destination, target);
  if (d.IsEmpty()) {
    bands.push_back(target);
    return bands;
  }
  if (target.top < d.top) bands.push_back({target.left, target.top, target.right, d.top});
  if (target.left < d.left) bands.push_back({target.left, d.top, d.left, d.bottom});
  if (d.right < target.right) bands.push_back({d.right, d.top, target.right, d.bottom});
  if (d.bottom < target.bottom)
    bands.push_back({target.left, d.bottom, target.right, target.bottom});
  return bands;
}

}  // namespace Orvex
