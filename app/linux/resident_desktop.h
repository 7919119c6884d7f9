#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/linux/linux_desktop.h"

// The user's choice of wallpaper backend as the settings file has it now;
// empty (detect the desktop) when the file or the entry is missing.
Orvex::SharedString WallpaperBackendSetting();

// The resident program's desktop: a LinuxDesktop that takes the backend of
// the WallpaperBackend setting anew when a change finds the setting
// changed, so that a new choice needs no restart. A setting that names nothing usable is
// shown as the error of that change, once for each such value, and the
// backend in use stays: the wallpaper goes on changing as before.
class ResidentDesktop : public LinuxDesktop {
 public:
  using SettingReader = std::function<Orvex::SharedString()>;

  // desktop: the one the start built for setting. read_setting gives the
  // setting as it is now; by default from the settings file.
  ResidentDesktop(std::unique_ptr<LinuxDesktop> desktop, Orvex::SharedString setting,
                  SettingReader read_setting = WallpaperBackendSetting);

  // Where the monitors come from when neither the desktop nor an X server
  // tells them (the resident program asks its toolkit's screens).
  void SetLastResortMonitors(std::function<MonitorList()> monitors) {
    last_resort_monitors_ = std::move(monitors);
  }
  MonitorList GetMonitors() override;

  // Where the name of the monitor under the pointer comes from (the
  // resident program asks its toolkit); none by default.
  void SetPointerMonitor(std::function<Orvex::SharedString()> monitor) {
    pointer_monitor_ = std::move(monitor);
  }
  Orvex::SharedString MonitorUnderPointer() override {
    return pointer_monitor_ ? pointer_monitor_() : Orvex::SharedString();
  }

 protected:
  // A change starts by asking the screen size; removing and setting the
  // wallpaper look at the setting too, for callers that ask nothing first.
  void BeforeUse() override;

 private:
  Orvex::SharedString setting_;
  std::optional<Orvex::SharedString> refused_;
  SettingReader read_setting_;
  std::function<MonitorList()> last_resort_monitors_;
  std::function<Orvex::SharedString()> pointer_monitor_;
};
