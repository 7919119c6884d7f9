#include "foundation/display.h"

#include "foundation/win32/win32.h"

namespace Orvex {

DisplayMode GetDisplayMode() {
  DEVMODEW mode = {};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return {};
  // Without a screen the call may still succeed with a 0 x 0 mode; nothing
  // can be fitted to that.
  if (mode.dmPelsWidth == 0 || mode.dmPelsHeight == 0) return {};
  return {static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
          static_cast<int>(mode.dmBitsPerPel), static_cast<int>(mode.dmDisplayFrequency)};
}

}  // namespace Orvex
