#pragma once

#include "app/monitors.h"

// The screens Qt knows, as monitors in device pixels, keyed by Qt's screen
// name (the output's name on X11 and Wayland). Qt lays the screens out in
// its own device-independent pixels: every rectangle is multiplied by the
// largest pixel ratio, so that the sharpest screen gets its own pixels and
// none overlap. Empty without a Qt application.
MonitorList QtScreenMonitors();

// The name of the screen under the mouse pointer, empty when it cannot be
// told. Only an X server says where the pointer is while it is over other
// programs' windows; a Wayland compositor keeps that to itself, and a
// position Qt remembers from our own windows would name the wrong screen.
Orvex::SharedString QtScreenUnderPointer();
