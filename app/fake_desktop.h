#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/desktop.h"
#include "app/tray_host.h"

namespace Orvex::Testing {

// A desktop and tray host that record what the cycle asks of them.
class FakeDesktop : public IDesktop, public ITrayHost {
 public:
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override {
    wallpapers.push_back(path);
    with_pixels.push_back(pixels != nullptr);
  }
  void RemoveWallpaper() override { ++removals; }
  std::optional<Orvex::PlaneSize> GetScreenSize() override { return screen; }
  uint32_t GetDesktopColor() override { return desktop_color; }
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override {
    errors.push_back(caption + u"|" + text);
  }
  void SetTrayIcon(int icon_id, const Orvex::SharedString& tooltip) override {
    icons.push_back(icon_id);
    tooltips.push_back(tooltip);
  }
  void SetChangeTimer(uint32_t period_ms) override { timer_periods.push_back(period_ms); }

  std::optional<Orvex::PlaneSize> screen = Orvex::PlaneSize{160, 90};
  uint32_t desktop_color = 0x00FF00;
  std::vector<Orvex::SharedString> wallpapers;
  std::vector<bool> with_pixels;
  std::vector<Orvex::SharedString> errors;
  std::vector<int> icons;
  std::vector<Orvex::SharedString> tooltips;
  std::vector<uint32_t> timer_periods;
  int removals = 0;
};

}  // namespace Orvex::Testing
