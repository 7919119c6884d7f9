#include "imaging/auto_stretching_layout.h"

#include <algorithm>

#include "imaging/layout_math.h"

namespace Orvex {

using layout_internal::ClampToInt32;
using layout_internal::RoundHalfUp;

namespace {

// Position of an extent of the given length along one axis of [low, high).
int64_t AlignedOrigin(int32_t align, int32_t low, int32_t high, int64_t length) {
  switch (align) {
    case 0:
      return low;
    case 1:
      return low + (high - length - low) / 2;
    case 2:
      return high - length;
    default:
      return 0;
  }
}

}  // namespace

std::shared_ptr<ILayout> AutoStretchingLayout::Clone() const {
  auto copy = std::make_shared<AutoStretchingLayout>();
  copy->SetSourceRect(source_rect());
  copy->SetTargetRect(target_rect());
  copy->SetAlignH(GetAlignH());
  copy->SetAlignV(GetAlignV());
  copy->SetAllowShrink(GetAllowShrink());
  copy->SetAllowEnlarge(GetAllowEnlarge());
  copy->SetCover(GetCover());
  return copy;
}

PlaneSize AutoStretchingLayout::ComputeScaledSize() {
  const int64_t ws = source_rect().Width();
  const int64_t hs = source_rect().Height();
  if (ws <= 0 || hs <= 0) {
    // Nothing to scale: there is no ratio to keep.
    set_width_bound(false);
    return {0, 0};
  }
  const int64_t wt = std::max<int64_t>(target_rect().Width(), 0);
  const int64_t ht = std::max<int64_t>(target_rect().Height(), 0);

  const long double sv = static_cast<long double>(ht) / hs;
  const long double sh = static_cast<long double>(wt) / ws;
  // On a tie the vertical scale is taken.
  const bool width_bound = GetCover() ? sv < sh : sv > sh;
  set_width_bound(width_bound);
  const long double s = width_bound ? sh : sv;

  if ((s < 1 && GetAllowShrink()) || (s > 1 && GetAllowEnlarge())) {
    return {ClampToInt32(RoundHalfUp(ws * s)), ClampToInt32(RoundHalfUp(hs * s))};
  }
  return {ClampToInt32(ws), ClampToInt32(hs)};
}

PlaneRect AutoStretchingLayout::ComputeDestRect() {
  const PlaneSize size = ComputeScaledSize();
  const PlaneRect& target = target_rect();
  const int64_t x = AlignedOrigin(GetAlignH(), target.left, target.right, size.width);
  const int64_t y = AlignedOrigin(GetAlignV(), target.top, target.bottom, size.height);
  return {ClampToInt32(x), ClampToInt32(y), ClampToInt32(x + size.width),
          ClampToInt32(y + size.height)};
}

}  // namespace Orvex
