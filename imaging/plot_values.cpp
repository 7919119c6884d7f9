#include "imaging/plot_values.h"

#include <cmath>

#include "imaging/pixel_geometry.h"
#include "imaging/resample.h"

namespace Orvex {

void PlotValues(CPlane32& dest, const std::vector<double>& values, double minimum, double range,
                uint32_t color, const PlaneRect& rect, const PlaneClip& clip) {
  if (values.empty() || !(range > 0) || !std::isfinite(minimum) || !std::isfinite(range)) return;
  const int64_t height = int64_t{rect.bottom} - rect.top;
  if (rect.right <= rect.left || height <= 0) return;

  // One row per sample, as many value steps as the target is high: the
  // quarter turn then puts samples along x and values along y.
  const int32_t steps = static_cast<int32_t>(height);
  const int32_t count = static_cast<int32_t>(values.size());
  CMemoryPlane32 samples;
  samples.SetSize(PlaneSize{steps, count});
  samples.FillAll(0);
  for (int32_t i = 0; i < count; ++i) {
    const double v = values[static_cast<size_t>(i)];
    if (!(v >= minimum && v <= minimum + range)) continue;
    const auto x = static_cast<int32_t>(std::lround((v - minimum) / range * (steps - 1)));
    samples.Fill(color, PlaneRect{x, i, x + 1, i + 1});
  }

  // A turn by 270 degrees brings the last column, the largest value, to the
  // top row.
  CMemoryPlane32 turned;
  turned.SetSize(PlaneSize{count, steps});
  Rotate270Copy(turned, samples, 0, 0, PlaneRect{0, 0, steps, count}, PlaneClip{});
  ResampleLanczos(dest, turned, rect, PlaneRect{0, 0, count, steps}, clip);
}

}  // namespace Orvex
