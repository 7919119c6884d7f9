#include "app/linux/logical_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Layouts reach a few tens of thousands of pixels; anything beyond the
// range of a plane's coordinates is a broken reply.
constexpr double kLimit = 1 << 20;

int32_t Edge(double logical, double factor) {
  return static_cast<int32_t>(std::lround(std::clamp(logical * factor, -kLimit, kLimit)));
}

}  // namespace

MonitorList MonitorsFromLogicalLayout(const std::vector<LogicalOutput>& outputs) {
  double factor = 1;
  for (const LogicalOutput& output : outputs) {
    if (output.scale > factor && output.scale <= 16) factor = output.scale;
  }
  MonitorList monitors;
  bool have_primary = false;
  for (const LogicalOutput& output : outputs) {
    Monitor monitor;
    monitor.name = output.name;
    monitor.rect = {Edge(output.x, factor), Edge(output.y, factor),
                    Edge(output.x + output.width, factor), Edge(output.y + output.height, factor)};
    if (monitor.rect.IsEmpty()) continue;
    monitor.primary = output.focused && !have_primary;
    have_primary = have_primary || monitor.primary;
    monitors.push_back(std::move(monitor));
  }
  if (!have_primary && !monitors.empty()) monitors.front().primary = true;
  return monitors;
}
