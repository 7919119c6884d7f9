#include "imaging/pixel_scale.h"

#include <algorithm>
#include <memory>

#include "imaging/pixel_area.h"

namespace Orvex {

namespace Detail {

namespace {

// The clipped rectangles and the source, snapshotted when it is `dest`.
struct ScaleJob {
  PlaneRect dest;
  PlaneRect source;
  std::unique_ptr<CMemoryPlane32> copy;
  const CPlane32* plane = nullptr;
};

bool Prepare(ScaleJob& job, const CPlane32& dest, const CPlane32& source,
             const PlaneRect& dest_rect, const PlaneRect& source_rect, const PlaneClip& clip) {
  job.dest = dest_rect;
  job.source = source_rect;
  if (!ClipScaledArea(job.dest, job.source, dest.GetBounds(), source.GetBounds(), clip)) {
    return false;
  }
  job.plane = &source;
  if (&source == &dest) {
    job.copy = std::make_unique<CMemoryPlane32>();
    job.copy->SetSize(PlaneSize{int32_t(job.source.Width()), int32_t(job.source.Height())});
    job.copy->Copy(source, 0, 0, job.source, PlaneClip{});
    job.source = PlaneRect{0, 0, int32_t(job.source.Width()), int32_t(job.source.Height())};
    job.plane = job.copy.get();
  }
  return true;
}

void Stepping(CPlane32& dest, const ScaleJob& job, ScaleFilter filter) {
  const int64_t sw = job.source.Width(), sh = job.source.Height();
  const int64_t dw = job.dest.Width(), dh = job.dest.Height();
  const int64_t step_x = (sw << 16) / dw;
  const int64_t step_y = (sh << 16) / dh;
  PlaneBitsLock source_lock(*job.plane);
  PlaneBitsLock lock(dest);
  auto at = [&](int64_t x, int64_t y) {
    return source_lock.Row(job.source.top + int32_t(y)) + ptrdiff_t(job.source.left + x) * 4;
  };
  const int channels = filter == ScaleFilter::kBilinearAlpha ? 4 : 3;
  for (int64_t j = 0; j < dh; ++j) {
    uint8_t* out = lock.Row(job.dest.top + int32_t(j)) + ptrdiff_t{job.dest.left} * 4;
    const int64_t fy_pos = j * step_y;
    const int64_t y0 = std::min(fy_pos >> 16, sh - 1);
    const int64_t y1 = std::min(y0 + 1, sh - 1);
    const int32_t fy = int32_t((fy_pos >> 8) & 0xFF);
    for (int64_t i = 0; i < dw; ++i, out += 4) {
      const int64_t fx_pos = i * step_x;
      const int64_t x0 = std::min(fx_pos >> 16, sw - 1);
      if (filter == ScaleFilter::kNearest) {
        std::memcpy(out, at(x0, y0), 4);
        continue;
      }
      const int64_t x1 = std::min(x0 + 1, sw - 1);
      const int32_t fx = int32_t((fx_pos >> 8) & 0xFF);
      const uint8_t *p00 = at(x0, y0), *p01 = at(x1, y0), *p10 = at(x0, y1), *p11 = at(x1, y1);
      for (int c = 0; c < channels; ++c) {
        const int32_t top = p00[c] * (256 - fx) + p01[c] * fx;
        const int32_t bottom = p10[c] * (256 - fx) + p11[c] * fx;
        out[c] = uint8_t((top * (256 - fy) + bottom * fy + 32768) >> 16);
      }
      if (channels == 3) out[3] = 0;
    }
  }
}

// Every destination pixel the rounded mean of an n x n source block.
void AverageBlocks(CPlane32& dest, const ScaleJob& job, int n, bool alpha) {
  PlaneBitsLock source_lock(*job.plane);
  PlaneBitsLock lock(dest);
  const int32_t area = n * n;
  for (int32_t j = 0; j < job.dest.Height(); ++j) {
    uint8_t* out = lock.Row(job.dest.top + j) + ptrdiff_t{job.dest.left} * 4;
    for (int32_t i = 0; i < job.dest.Width(); ++i, out += 4) {
      int32_t sum[4] = {};
      for (int32_t v = 0; v < n; ++v) {
        const uint8_t* p =
            source_lock.Row(job.source.top + j * n + v) + ptrdiff_t{job.source.left + i * n} * 4;
        for (int32_t u = 0; u < n; ++u, p += 4) {
          for (int c = 0; c < 4; ++c) sum[c] += p[c];
        }
      }
      for (int c = 0; c < 4; ++c) out[c] = uint8_t((sum[c] + area / 2) / area);
      if (!alpha) out[3] = 0;
    }
  }
}

void Doubled(CPlane32& dest, const ScaleJob& job) {
  PlaneBitsLock source_lock(*job.plane);
  PlaneBitsLock lock(dest);
  for (int32_t j = 0; j < job.dest.Height(); ++j) {
    uint8_t* out = lock.Row(job.dest.top + j) + ptrdiff_t{job.dest.left} * 4;
    const uint8_t* in = source_lock.Row(job.source.top + j / 2) + ptrdiff_t{job.source.left} * 4;
    for (int32_t i = 0; i < job.dest.Width(); ++i, out += 4) {
      std::memcpy(out, in + ptrdiff_t{i / 2} * 4, 4);
    }
  }
}

void Scale(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
           const PlaneRect& source_rect, const PlaneClip& clip, ScaleFilter filter) {
  ScaleJob job;
  if (!Prepare(job, dest, source, dest_rect, source_rect, clip)) return;
  const int64_t sw = job.source.Width(), sh = job.source.Height();
  const int64_t dw = job.dest.Width(), dh = job.dest.Height();
  if (sw == dw && sh == dh) {
    dest.Copy(*job.plane, job.dest.left, job.dest.top, job.source, PlaneClip{});
    return;
  }
  if (dw == 2 * sw && dh == 2 * sh) return Doubled(dest, job);
  if (filter != ScaleFilter::kNearest) {
    const bool alpha = filter == ScaleFilter::kBilinearAlpha;
    if (sw == 2 * dw && sh == 2 * dh) return AverageBlocks(dest, job, 2, alpha);
    if (sw == 4 * dw && sh == 4 * dh) return AverageBlocks(dest, job, 4, alpha);
  }
  Stepping(dest, job, filter);
}

}  // namespace

void ScaleStepping(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                   const PlaneRect& source_rect, const PlaneClip& clip, ScaleFilter filter) {
  ScaleJob job;
  if (Prepare(job, dest, source, dest_rect, source_rect, clip)) Stepping(dest, job, filter);
}

}  // namespace Detail

void ScaleNearest(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                  const PlaneRect& source_rect, const PlaneClip& clip) {
  Detail::Scale(dest, source, dest_rect, source_rect, clip, Detail::ScaleFilter::kNearest);
}

void ScaleBilinear(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                   const PlaneRect& source_rect, const PlaneClip& clip) {
  Detail::Scale(dest, source, dest_rect, source_rect, clip, Detail::ScaleFilter::kBilinear);
}

void ScaleBilinearAlpha(CPlane32& dest, const CPlane32& source, const PlaneRect& dest_rect,
                        const PlaneRect& source_rect, const PlaneClip& clip) {
  Detail::Scale(dest, source, dest_rect, source_rect, clip, Detail::ScaleFilter::kBilinearAlpha);
}

}  // namespace Orvex
