#include "imaging/stretching_layout_base.h"

#include "imaging/layout_math.h"

namespace Orvex {

using layout_internal::ClampToInt32;
using layout_internal::RoundHalfUp;

void StretchingLayoutBase::SetSourceRect(const PlaneRect& rect) {
  source_ = rect;
  dirty_ = true;
}

void StretchingLayoutBase::SetTargetRect(const PlaneRect& rect) {
  target_ = rect;
  dirty_ = true;
}

void StretchingLayoutBase::SetAlignH(int32_t align) {
  align_h_ = align;
  dirty_ = true;
}

void StretchingLayoutBase::SetAlignV(int32_t align) {
  align_v_ = align;
  dirty_ = true;
}

void StretchingLayoutBase::SetAllowShrink(bool allow) {
  allow_shrink_ = allow;
  dirty_ = true;
}

void StretchingLayoutBase::SetAllowEnlarge(bool allow) {
  allow_enlarge_ = allow;
  dirty_ = true;
}

void StretchingLayoutBase::SetCover(bool cover) {
  cover_ = cover;
  dirty_ = true;
}

PlaneRect StretchingLayoutBase::GetSourceRect() {
  UpdateIfDirty();
  return result_source_;
}

PlaneRect StretchingLayoutBase::GetDestRect() {
  UpdateIfDirty();
  return result_dest_;
}

bool StretchingLayoutBase::IsWidthBound() {
  UpdateIfDirty();
  return width_bound_;
}

void StretchingLayoutBase::UpdateIfDirty() {
  if (!dirty_) return;
  Update();
  dirty_ = false;
}

void StretchingLayoutBase::Update() {
  result_source_ = {};
  result_dest_ = {};
  if (source_.IsEmpty() || target_.IsEmpty()) return;

  const PlaneRect dest = ComputeDestRect();
  // A very thin or flat image can be scaled to zero pixels on one axis; it
  // then covers nothing and the scale back to source pixels would be 0/0.
  if (dest.IsEmpty()) return;

  const double sx = static_cast<double>(dest.Width()) / static_cast<double>(source_.Width());
  const double sy = static_cast<double>(dest.Height()) / static_cast<double>(source_.Height());

  const PlaneRect clipped = Intersect(dest, target_);
  if (clipped.IsEmpty()) return;

  // Cut from the source what was cut from the destination.
  const int64_t src_left =
      source_.left - RoundHalfUp(static_cast<double>(dest.left - int64_t{clipped.left}) / sx);
  const int64_t src_top =
      source_.top - RoundHalfUp(static_cast<double>(dest.top - int64_t{clipped.top}) / sy);
  const int64_t src_right =
      source_.right - RoundHalfUp(static_cast<double>(dest.right - int64_t{clipped.right}) / sx);
  const int64_t src_bottom =
      source_.bottom - RoundHalfUp(static_cast<double>(dest.bottom - int64_t{clipped.bottom}) / sy);

  // Rounding may have pushed an edge past the source; pull it back and move
  // the matching destination edge by as much.
  const int64_t fit_left = std::max<int64_t>(src_left, source_.left);
  const int64_t fit_top = std::max<int64_t>(src_top, source_.top);
  const int64_t fit_right = std::min<int64_t>(src_right, source_.right);
  const int64_t fit_bottom = std::min<int64_t>(src_bottom, source_.bottom);

  const PlaneRect source = {ClampToInt32(fit_left), ClampToInt32(fit_top), ClampToInt32(fit_right),
                            ClampToInt32(fit_bottom)};
  const PlaneRect destination = {
      ClampToInt32(clipped.left + RoundHalfUp(static_cast<double>(fit_left - src_left) * sx)),
      ClampToInt32(clipped.top + RoundHalfUp(static_cast<double>(fit_top - src_top) * sy)),
      ClampToInt32(clipped.right - RoundHalfUp(static_cast<double>(src_right - fit_right) * sx)),
      ClampToInt32(clipped.bottom -
                   RoundHalfUp(static_cast<double>(src_bottom - fit_bottom) * sy))};

  // A pair with one side empty would draw nothing or divide by zero later.
  if (source.IsEmpty() || destination.IsEmpty()) return;
  result_source_ = source;
  result_dest_ = destination;
}

}  // namespace Orvex
