#include "imaging/pixel_area.h"

#include <algorithm>
#include <cmath>

namespace Orvex::Detail {

SourceArea::SourceArea(const CPlane& dest, std::initializer_list<const CPlane*> sources, int32_t dx,
                       int32_t dy, const PlaneRect& source_rect, const PlaneClip& clip) {
  PlaneRect rect = source_rect;
  int32_t x = dx;
  int32_t y = dy;
  for (const CPlane* source : sources) {
    const CopyArea area = ClipCopyArea(x, y, rect, source->GetBounds(), dest.GetBounds(), clip);
    if (area.dest.IsEmpty()) return;
    // Later sources may cut the area further; the earlier ones follow.
    rect = area.source;
    x = area.dest.left;
    y = area.dest.top;
  }
  dest_ = PlaneRect{x, y, int32_t(x + rect.Width()), int32_t(y + rect.Height())};
  source_ = rect;
  for (const CPlane* source : sources) {
    const CPlane* read = source;
    PlaneRect origin = rect;
    if (source == &dest) {
      auto copy = std::make_unique<CMemoryPlane>(source->GetBitsPerPixel());
      copy->SetSize(PlaneSize{int32_t(rect.Width()), int32_t(rect.Height())});
      copy->Copy(*source, 0, 0, rect, PlaneClip{});
      read = copy.get();
      origin = PlaneRect{0, 0, int32_t(rect.Width()), int32_t(rect.Height())};
      snapshots_.push_back(std::move(copy));
    }
    locks_.push_back(std::make_unique<PlaneBitsLock>(*read));
    bytes_.push_back(read->GetBitsPerPixel() / 8);
    origins_.push_back(origin);
  }
}

SourceArea::~SourceArea() {
  // Unlock before the snapshots go.
  locks_.clear();
}

const uint8_t* SourceArea::Row(size_t index, int32_t y) const {
  return locks_[index]->Row(origins_[index].top + y) +
         ptrdiff_t{origins_[index].left} * bytes_[index];
}

namespace {

int64_t RoundHalfUp(double v) { return int64_t(std::floor(v + 0.5)); }

}  // namespace

bool ClipScaledArea(PlaneRect& dest, PlaneRect& source, const PlaneRect& dest_bounds,
                    const PlaneRect& source_bounds, const PlaneClip& clip) {
  if (dest.IsEmpty() || source.IsEmpty()) return false;
  const double sx = double(dest.Width()) / double(source.Width());
  const double sy = double(dest.Height()) / double(source.Height());
  PlaneRect cut = Intersect(dest, dest_bounds);
  if (clip.enabled) cut = Intersect(cut, clip.rect);
  if (cut.IsEmpty()) return false;
  int64_t sl = source.left - RoundHalfUp((double(dest.left) - cut.left) / sx);
  int64_t st = source.top - RoundHalfUp((double(dest.top) - cut.top) / sy);
  int64_t sr = source.right - RoundHalfUp((double(dest.right) - cut.right) / sx);
  int64_t sb = source.bottom - RoundHalfUp((double(dest.bottom) - cut.bottom) / sy);
  const int64_t csl = std::max<int64_t>(sl, source_bounds.left);
  const int64_t cst = std::max<int64_t>(st, source_bounds.top);
  const int64_t csr = std::min<int64_t>(sr, source_bounds.right);
  const int64_t csb = std::min<int64_t>(sb, source_bounds.bottom);
  if (csl >= csr || cst >= csb) return false;
  const int64_t dl = cut.left + RoundHalfUp(double(csl - sl) * sx);
  const int64_t dt = cut.top + RoundHalfUp(double(cst - st) * sy);
  const int64_t dr = cut.right - RoundHalfUp(double(sr - csr) * sx);
  const int64_t db = cut.bottom - RoundHalfUp(double(sb - csb) * sy);
  if (dl >= dr || dt >= db) return false;
  dest = PlaneRect{int32_t(dl), int32_t(dt), int32_t(dr), int32_t(db)};
  source = PlaneRect{int32_t(csl), int32_t(cst), int32_t(csr), int32_t(csb)};
  return true;
}

}  // namespace Orvex::Detail
