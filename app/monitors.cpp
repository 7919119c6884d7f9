#include "app/monitors.h"

#include <algorithm>
#include <cstdint>
#include <tuple>

using Orvex::PlaneRect;

PlaneRect BoundingBox(const MonitorList& monitors) {
  if (monitors.empty()) return PlaneRect{0, 0, 0, 0};
  PlaneRect box = monitors.front().rect;
  for (const Monitor& monitor : monitors) {
    box.left = std::min(box.left, monitor.rect.left);
    box.top = std::min(box.top, monitor.rect.top);
    box.right = std::max(box.right, monitor.rect.right);
    box.bottom = std::max(box.bottom, monitor.rect.bottom);
  }
  return box;
}

std::optional<Orvex::PlaneSize> BoundingBoxSize(const MonitorList& monitors) {
  const PlaneRect box = BoundingBox(monitors);
  if (box.IsEmpty()) return std::nullopt;
  return Orvex::PlaneSize{static_cast<int32_t>(box.Width()), static_cast<int32_t>(box.Height())};
}

MonitorList OrderFromPrimary(MonitorList monitors) {
  if (monitors.empty()) return monitors;
  auto primary = std::find_if(monitors.begin(), monitors.end(),
                              [](const Monitor& monitor) { return monitor.primary; });
  if (primary == monitors.end()) primary = monitors.begin();
  std::iter_swap(monitors.begin(), primary);
  // Doubled centres stay whole numbers.
  const auto centre_x = [](const Monitor& m) { return int64_t{m.rect.left} + m.rect.right; };
  const auto centre_y = [](const Monitor& m) { return int64_t{m.rect.top} + m.rect.bottom; };
  const int64_t px = centre_x(monitors.front());
  const int64_t py = centre_y(monitors.front());
  const auto key = [&](const Monitor& m) {
    const int64_t dx = centre_x(m) - px;
    const int64_t dy = centre_y(m) - py;
    return std::make_tuple(dx * dx + dy * dy, m.rect.left, m.rect.top);
  };
  std::stable_sort(monitors.begin() + 1, monitors.end(),
                   [&](const Monitor& a, const Monitor& b) { return key(a) < key(b); });
  return monitors;
}

std::vector<PlaneRect> UncoveredByMonitors(const PlaneRect& box, const MonitorList& monitors) {
  std::vector<PlaneRect> uncovered;
  if (box.IsEmpty()) return uncovered;
  // Horizontal bands between every top and bottom edge; within a band the
  // covered spans do not change.
  std::vector<int32_t> edges{box.top, box.bottom};
  for (const Monitor& monitor : monitors) {
    const PlaneRect r = Orvex::Intersect(monitor.rect, box);
    if (r.IsEmpty()) continue;
    edges.push_back(r.top);
    edges.push_back(r.bottom);
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    const int32_t top = edges[i];
    const int32_t bottom = edges[i + 1];
    std::vector<std::pair<int32_t, int32_t>> spans;
    for (const Monitor& monitor : monitors) {
      const PlaneRect r = Orvex::Intersect(monitor.rect, box);
      if (r.IsEmpty() || r.top >= bottom || r.bottom <= top) continue;
      spans.emplace_back(r.left, r.right);
    }
    std::sort(spans.begin(), spans.end());
    int32_t x = box.left;
    for (const auto& [left, right] : spans) {
      if (left > x) uncovered.push_back(PlaneRect{x, top, left, bottom});
      x = std::max(x, right);
    }
    if (x < box.right) uncovered.push_back(PlaneRect{x, top, box.right, bottom});
  }
  return uncovered;
}
