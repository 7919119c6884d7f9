#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/desktop.h"
#include "app/linux/linux_desktop.h"

// The user's choice of wallpaper backend as the settings file has it now;
// empty (detect the desktop) when the file or the entry is missing.
Orvex::SharedString WallpaperBackendSetting();

// The resident program's desktop: the LinuxDesktop for the WallpaperBackend
// setting, built anew when a change finds the setting changed, so that a
// new choice needs no restart. A setting that names nothing usable is
// shown as the error of that change, once for each such value, and the
// backend in use stays: the wallpaper goes on changing as before.
class ResidentDesktop : public IDesktop {
 public:
  using SettingReader = std::function<Orvex::SharedString()>;

  // desktop: the one the start built for setting. read_setting gives the
  // setting as it is now; by default from the settings file.
  ResidentDesktop(std::unique_ptr<LinuxDesktop> desktop, Orvex::SharedString setting,
                  SettingReader read_setting = WallpaperBackendSetting);

  const LinuxDesktop& Current() const { return *desktop_; }

  // A change starts by asking the screen size; removing and setting the
  // wallpaper look at the setting too, for callers that ask nothing first.
  void SetWallpaper(const Orvex::SharedString& path, const Orvex::CPlane32* pixels) override;
  void RemoveWallpaper() override;
  std::optional<Orvex::PlaneSize> GetScreenSize() override;
  uint32_t GetDesktopColor() override;
  void ShowError(const Orvex::SharedString& caption, const Orvex::SharedString& text) override;

 private:
  LinuxDesktop& Follow();

  std::unique_ptr<LinuxDesktop> desktop_;
  Orvex::SharedString setting_;
  std::optional<Orvex::SharedString> refused_;
  SettingReader read_setting_;
};
