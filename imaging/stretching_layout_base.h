#pragma once

#include <cstdint>

#include "imaging/layout.h"
#include "imaging/plane_geometry.h"

namespace Orvex {

// The inputs, options and results shared by the layouts that scale the
// source. Results are computed lazily: a setter only marks them stale and
// the next getter recomputes them once.
class StretchingLayoutBase : public ILayout {
 public:
  // The size the whole source gets; also decides IsWidthBound.
  virtual PlaneSize ComputeScaledSize() = 0;

  void SetSourceRect(const PlaneRect& rect);
  void SetTargetRect(const PlaneRect& rect);
  // 0 left, 1 centre, 2 right; any other value places the image at x = 0.
  void SetAlignH(int32_t align);
  // 0 top, 1 centre, 2 bottom; any other value places the image at y = 0.
  void SetAlignV(int32_t align);
  void SetAllowShrink(bool allow);
  void SetAllowEnlarge(bool allow);
  // Fill the target and crop the image instead of fitting it inside.
  void SetCover(bool cover);

  int32_t GetAlignH() const { return align_h_; }
  int32_t GetAlignV() const { return align_v_; }
  bool GetAllowShrink() const { return allow_shrink_; }
  bool GetAllowEnlarge() const { return allow_enlarge_; }
  bool GetCover() const { return cover_; }

  // The part of the source actually drawn.
  PlaneRect GetSourceRect();
  // Where it is drawn, inside the target. When the source or the target is
  // empty, or the image covers no whole pixel, both results are (0, 0, 0, 0).
  PlaneRect GetDestRect();
  // Whether the horizontal scale was the one taken.
  bool IsWidthBound();

 protected:
  StretchingLayoutBase() = default;

  const PlaneRect& source_rect() const { return source_; }
  const PlaneRect& target_rect() const { return target_; }
  void set_width_bound(bool width_bound) { width_bound_ = width_bound; }

 private:
  void UpdateIfDirty();
  void Update();

  PlaneRect source_{};
  PlaneRect target_{};
  PlaneRect result_source_{};
  PlaneRect result_dest_{};
  bool dirty_ = false;
  int32_t align_v_ = 1;
  int32_t align_h_ = 1;
  bool allow_shrink_ = false;
  bool allow_enlarge_ = false;
  bool cover_ = false;
  bool width_bound_ = false;
};

}  // namespace Orvex
