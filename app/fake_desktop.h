#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "app/desktop.h"
#include "app/tray_host.h"
#include "codecs/bmp_loader.h"
#include "foundation/files.h"
#include "imaging/plane32.h"

namespace Orvex::Testing {

// A desktop and tray host that record what the cycle asks of them.
class FakeDesktop : public IDesktop, public ITrayHost {
 public:
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override {
    if (while_setting) while_setting();
    wallpapers.push_back(path);
    with_pixels.push_back(pixels != nullptr);
    if (pixels && check_pixels) pixels_match_file.push_back(SameAsFile(path, *pixels));
  }
  void SetComposedWallpaper(const ComposedWallpaper& wallpaper) override {
    composed.push_back(wallpaper);
    composed.back().pixels = nullptr;
    SetWallpaper(wallpaper.path, wallpaper.pixels);
  }
  MonitorList GetMonitors() override { return monitors ? *monitors : IDesktop::GetMonitors(); }
  bool WantsMonitorFiles() const override { return monitor_files; }
  bool TilesComposedPicture() const override { return tiles; }
  Orvex::SharedString MonitorUnderPointer() override { return pointer_monitor; }
  void RemoveWallpaper() override { ++removals; }
  std::optional<Orvex::PlaneSize> GetScreenSize() override { return screen; }
  uint32_t GetDesktopColor() override { return desktop_color; }
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override {
    errors.push_back(caption + u"|" + text);
    if (while_error_shown) while_error_shown();
  }
  void SetTrayIcon(int icon_id, const Orvex::SharedString& tooltip) override {
    icons.push_back(icon_id);
    tooltips.push_back(tooltip);
  }
  void SetChangeTimer(uint32_t period_ms) override { timer_periods.push_back(period_ms); }

  std::optional<Orvex::PlaneSize> screen = Orvex::PlaneSize{160, 90};
  // When set, the monitors; otherwise one of the screen's size.
  std::optional<MonitorList> monitors;
  bool monitor_files = false;
  bool tiles = false;
  Orvex::SharedString pointer_monitor;
  std::vector<ComposedWallpaper> composed;
  uint32_t desktop_color = 0x00FF00;
  std::vector<Orvex::SharedString> wallpapers;
  std::vector<bool> with_pixels;
  std::vector<Orvex::SharedString> errors;
  // Runs while a box is open, as the box's own event loop would run the
  // timer and second starts.
  std::function<void()> while_error_shown;
  // Runs inside a change, before the wallpaper is set.
  std::function<void()> while_setting;
  std::vector<int> icons;
  std::vector<Orvex::SharedString> tooltips;
  std::vector<uint32_t> timer_periods;
  int removals = 0;
  // When set, the pixels handed over are compared with the bitmap written.
  bool check_pixels = false;
  std::vector<bool> pixels_match_file;

  static bool SameAsFile(const Orvex::SharedString& path, const Orvex::CPlane32& pixels) {
    Orvex::CBmpLoader loader;
    if (!loader.Open(std::make_shared<Orvex::CFileData>(path))) return false;
    Orvex::CMemoryPlane32 file;
    file.SetSize(loader.GetImageSize());
    loader.Load(file, 0, 0);
    if (file.GetSize() != pixels.GetSize()) return false;
    Orvex::PlaneBitsLock a(file);
    Orvex::PlaneBitsLock b(pixels);
    for (int32_t y = 0; y < file.GetHeight(); ++y) {
      for (int32_t x = 0; x < file.GetWidth(); ++x) {
        // The file keeps three bytes a pixel; the fourth is not shown.
        for (int c = 0; c < 3; ++c) {
          if (a.Row(y)[4 * x + c] != b.Row(y)[4 * x + c]) return false;
        }
      }
    }
    return true;
  }
};

}  // namespace Orvex::Testing
