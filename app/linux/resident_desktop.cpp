#include "app/linux/resident_desktop.h"

#include <exception>
#include <utility>

#include "app/config_keys.h"
#include "app/config_store.h"
#include "app/linux/wallpaper_backend.h"
#include "foundation/error_reporting.h"

using Orvex::SharedString;

namespace {

// The caption of the errors a wallpaper change shows.
constexpr char16_t kChangeErrorCaption[] = u"エラー";

}  // namespace

SharedString WallpaperBackendSetting() {
  ConfigStore store;
  if (!store.Load()) return {};
  const auto found = store.Entries().find(SharedString(config_key::kWallpaperBackend));
  return found == store.Entries().end() ? SharedString() : found->second;
}

ResidentDesktop::ResidentDesktop(std::unique_ptr<LinuxDesktop> desktop, SharedString setting,
                                 SettingReader read_setting)
    : LinuxDesktop(std::move(*desktop)),
      setting_(std::move(setting)),
      read_setting_(std::move(read_setting)) {}

MonitorList ResidentDesktop::GetMonitors() {
  MonitorList monitors = LinuxDesktop::GetMonitors();
  if (monitors.empty() && last_resort_monitors_) monitors = last_resort_monitors_();
  return monitors;
}

void ResidentDesktop::BeforeUse() {
  ReapEndedSwaybg();
  SharedString setting = read_setting_();
  if (setting == setting_) {
    refused_.reset();
    return;
  }
  try {
    LinuxDesktop::operator=(LinuxDesktop(setting));
    setting_ = std::move(setting);
    refused_.reset();
  } catch (const std::exception& error) {
    // Tried again at each change, so that a desktop that comes up later is
    // taken, but told once: a box at every change would pile up. Noted
    // before the box, whose event loop may run the next change.
    if (refused_ != setting) {
      refused_ = setting;
      Orvex::ShowException(nullptr, kChangeErrorCaption, error);
    }
  }
}
