#pragma once

#include "app/monitors.h"

// Last: Xlib's macros must not reach the headers above.
#include <X11/Xlib.h>

// The monitors RandR reports for the display's default screen, each keyed
// by its name (the output's, or the one a user gave a monitor of his own),
// in root-window pixels. Empty when the server has no RandR 1.5 or lists
// no active monitor.
MonitorList ReadRandrMonitors(Display* display);
