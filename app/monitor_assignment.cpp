#include "app/monitor_assignment.h"

#include <algorithm>
#include <utility>

bool SuitsMonitor(const std::optional<Orvex::PlaneSize>& size, bool portrait_monitor) {
  if (!size || size->width == size->height) return true;
  return (size->height > size->width) == portrait_monitor;
}

std::optional<uint32_t> TakeNextForMonitor(std::vector<Orvex::SharedString>& list,
                                           uint32_t& position, bool portrait_monitor,
                                           const PictureSizeProbe& probe) {
  const size_t n = list.size();
  if (n == 0) return std::nullopt;
  const auto at = [&](size_t ahead) { return (size_t{position} + ahead) % n; };
  // Never further than one lap: a picture is not looked at twice.
  const size_t reach = std::min<size_t>(kOrientationLookAhead, n);
  size_t chosen = 1;
  for (size_t ahead = 1; ahead <= reach; ++ahead) {
    if (!probe || SuitsMonitor(probe(list[at(ahead)]), portrait_monitor)) {
      chosen = ahead;
      break;
    }
  }
  // Bubble the chosen picture up to the next place.
  for (size_t ahead = chosen; ahead > 1; --ahead) std::swap(list[at(ahead)], list[at(ahead - 1)]);
  position = static_cast<uint32_t>(at(1));
  return position;
}
