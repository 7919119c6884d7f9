#pragma once

namespace Orvex {

struct DisplayMode {
  int width = -1;
  int height = -1;
  int bits_per_pixel = -1;
  int frequency = -1;  // refresh rate in hertz; 0 when the system does not say
};

// The current mode of the primary display; all four values -1 when there is
// no display to ask (or it reports an empty screen).
DisplayMode GetDisplayMode();

}  // namespace Orvex
