#pragma once

#include <optional>
#include <vector>

#include "foundation/shared_string.h"
#include "imaging/plane_geometry.h"

// One monitor of the desktop, in virtual-desktop pixels. The name is the
// one the system keys the output by (a connector name such as "DP-1", a
// Windows device name), so that a monitor keeps its picture when others
// come and go.
struct Monitor {
  Orvex::PlaneRect rect{};
  bool primary = false;
  Orvex::SharedString name;

  bool IsPortrait() const { return rect.Height() > rect.Width(); }
};

using MonitorList = std::vector<Monitor>;

// The smallest rectangle that holds every monitor; empty for none.
Orvex::PlaneRect BoundingBox(const MonitorList& monitors);
// Its size, as an X screen around the monitors has it; nothing for no
// monitors.
std::optional<Orvex::PlaneSize> BoundingBoxSize(const MonitorList& monitors);

// The monitors in the order they take pictures: the primary first (the
// first monitor when none is marked), then the others by the distance of
// their centres from the primary's, nearer first; ties left to right, then
// top to bottom, so that the order never depends on how the system listed
// them.
MonitorList OrderFromPrimary(MonitorList monitors);

// The parts of `box` that no monitor covers, as disjoint rectangles, in
// rows from the top.
std::vector<Orvex::PlaneRect> UncoveredByMonitors(const Orvex::PlaneRect& box,
                                                  const MonitorList& monitors);
