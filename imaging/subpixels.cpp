#include "imaging/subpixels.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "imaging/pixel_area.h"
#include "imaging/plane8.h"

namespace Orvex {

void CollapseSubpixelRow(uint8_t* out, const uint8_t* in, int32_t columns) {
  for (int32_t j = 0; j < columns; ++j, out += 4, in += 12) {
    out[0] = in[8];      // blue of the third
    out[1] = in[4 + 1];  // green of the second
    out[2] = in[0 + 2];  // red of the first
    out[3] = in[4 + 3];  // alpha of the second
  }
}

void CollapseSubpixels(CPlane32& dest, const CPlane& source, int32_t dx, int32_t dy,
                       const PlaneRect& source_rect, const PlaneClip& clip) {
  if (source_rect.IsEmpty()) return;
  const int64_t width = source_rect.Width() / 3;
  PlaneRect dest_rect{dx, dy, int32_t(std::min<int64_t>(dx + width, INT32_MAX)),
                      int32_t(std::min<int64_t>(dy + source_rect.Height(), INT32_MAX))};
  PlaneRect area = source_rect;
  if (!Detail::ClipScaledArea(dest_rect, area, dest.GetBounds(), source.GetBounds(), clip)) {
    return;
  }
  // Rounding in the clip can leave fewer than three source columns per
  // destination pixel; never read past what was cut to the source.
  const int32_t columns = int32_t(std::min<int64_t>(dest_rect.Width(), area.Width() / 3));
  const int32_t rows = int32_t(std::min<int64_t>(dest_rect.Height(), area.Height()));
  if (columns <= 0 || rows <= 0) return;

  const int depth = source.GetBitsPerPixel();
  if (depth != 32 && depth != 8) {
    CMemoryPlane8 grey;
    grey.SetSize(PlaneSize{columns * 3, rows});
    grey.Copy(source, 0, 0,
              PlaneRect{area.left, area.top, area.left + columns * 3, area.top + rows},
              PlaneClip{});
    CollapseSubpixels(dest, grey, dest_rect.left, dest_rect.top, PlaneRect{0, 0, columns * 3, rows},
                      PlaneClip{});
    return;
  }

  PlaneBitsLock dest_lock(dest);
  PlaneBitsLock source_lock(source);
  // Read from a copy when collapsing a plane into itself.
  CMemoryPlane copy(depth);
  const PlaneBitsLock* read = &source_lock;
  PlaneRect from{area.left, area.top, area.left + columns * 3, area.top + rows};
  std::unique_ptr<PlaneBitsLock> copy_lock;
  if (&source == &dest) {
    copy.SetSize(PlaneSize{columns * 3, rows});
    copy.Copy(source, 0, 0, from, PlaneClip{});
    copy_lock = std::make_unique<PlaneBitsLock>(copy);
    read = copy_lock.get();
    from = PlaneRect{0, 0, columns * 3, rows};
  }
  for (int32_t y = 0; y < rows; ++y) {
    uint8_t* out = dest_lock.Row(dest_rect.top + y) + ptrdiff_t{dest_rect.left} * 4;
    if (depth == 32) {
      CollapseSubpixelRow(out, read->Row(from.top + y) + ptrdiff_t{from.left} * 4, columns);
    } else {
      const uint8_t* in = read->Row(from.top + y) + from.left;
      for (int32_t j = 0; j < columns; ++j, out += 4, in += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 0;
      }
    }
  }
}

}  // namespace Orvex
