#pragma once

#include <vector>

#include "app/monitors.h"

// An output as a Wayland compositor lays it out: position and size in
// logical pixels, and the scale from those to the output's own.
struct LogicalOutput {
  Orvex::SharedString name;
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  double scale = 1;
  bool focused = false;
};

// The outputs as monitors in one pixel grid: every edge is multiplied by
// the largest scale, so that no output gets fewer pixels than it shows and
// outputs that touch still touch without overlapping. The focused output
// (else the first) is the primary. Outputs without an area are left out.
MonitorList MonitorsFromLogicalLayout(const std::vector<LogicalOutput>& outputs);
