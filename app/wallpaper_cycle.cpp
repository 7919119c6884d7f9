#include "app/wallpaper_cycle.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

#include "app/config_keys.h"
#include "app/wallpaper_render.h"
#include "codecs/opened_image.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/random.h"
#include "imaging/plane_block_cache.h"

using Orvex::SharedString;

namespace {

constexpr int kBuildNumber = 15;
// The longest period the system timer accepts.
constexpr int64_t kMaxTimerPeriod = 0x7FFFFFFF;

}  // namespace

WallpaperCycle::WallpaperCycle(IDesktop& desktop, const Orvex::LoaderRegistry& loaders,
                               StoreFactory store_factory, ITrayHost* tray)
    : desktop_(desktop),
      tray_(tray),
      loaders_(loaders),
      store_factory_(std::move(store_factory)),
      probe_([&loaders](const SharedString& path) -> std::optional<Orvex::PlaneSize> {
        try {
          return Orvex::OpenedImage(loaders, std::make_shared<Orvex::CFileData>(path)).Size();
        } catch (const std::exception&) {
          return std::nullopt;
        }
      }) {}

WallpaperCycle::~WallpaperCycle() { observer_.Stop(); }

void WallpaperCycle::Start(const ConfigStore& store) {
  suspended_ = store.GetBool(config_key::kSuspend);
  ShowSuspendState();
  interval_seconds_ = store.GetInt(config_key::kInterval);
  if (tray_ != nullptr) tray_->SetChangeTimer(TimerPeriod(interval_seconds_));
  if (!store.GetBool(config_key::kWaitFirst)) {
    ChangeWallpaper(store);
  }
}

void WallpaperCycle::ChangeNow() {
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  UpdateSuspendState(store);
  UpdateInterval(store);
  ChangeWallpaper(store);
}

bool WallpaperCycle::UpdateSuspendState(const ConfigStore& store) {
  const bool suspend = store.GetBool(config_key::kSuspend);
  if (suspend == suspended_) {
    return false;
  }
  suspended_ = suspend;
  ShowSuspendState();
  return true;
}

void WallpaperCycle::ShowSuspendState() {
  if (tray_ != nullptr) {
    tray_->SetTrayIcon(suspended_ ? kSuspendedIconId : kRunningIconId, TrayTooltip(suspended_));
  }
}

void WallpaperCycle::UpdateInterval(const ConfigStore& store) {
  const int interval = store.GetInt(config_key::kInterval);
  if (interval == interval_seconds_) {
    return;
  }
  interval_seconds_ = interval;
  if (tray_ != nullptr) tray_->SetChangeTimer(TimerPeriod(interval_seconds_));
}

SharedString WallpaperCycle::ImageFolder(const ConfigStore& store) {
  return Orvex::MakeAbsoluteToExecutable(
      Orvex::EnsureTrailingSeparator(store.GetString(config_key::kImageDir)));
}

SharedString WallpaperCycle::TrayTooltip(bool suspended) {
  return SharedString::Format(u"Pelmora%s build-%d", suspended ? u" [一時停止中]" : u"",
                              kBuildNumber);
}

uint32_t WallpaperCycle::TimerPeriod(int interval_seconds) {
  // Computed wide: seconds times 1000 overflows an int long before the
  // timer's own limit.
  const int64_t ms = int64_t{interval_seconds} * 1000;
  return static_cast<uint32_t>(std::clamp<int64_t>(ms, 0, kMaxTimerPeriod));
}

void WallpaperCycle::ChangeWallpaper(const ConfigStore& store) {
  if (store.GetBool(config_key::kSuspend)) {
    return;
  }
  const SharedString folder = ImageFolder(store);
  if (!Orvex::IsDirectory(folder)) {
    desktop_.ShowError(u"エラー", SharedString(u"画像フォルダ '") + folder + u"' が見つかりません");
    return;
  }
  RefreshImageList(folder);
  if (image_list_.empty()) {
    return;
  }
  Show(store, false);
}

void WallpaperCycle::RefitToDisplays() {
  ConfigStore store = store_factory_();
  store.LoadWithDefaults();
  if (store.GetBool(config_key::kSuspend) || image_list_.empty()) return;
  Show(store, true);
}

void WallpaperCycle::Show(const ConfigStore& store, bool refit) {
  const MultiMonitorChoice mode = ReadMultiMonitorChoice(store);
  if (mode != MultiMonitorChoice::kSame) {
    const MonitorList monitors = OrderFromPrimary(desktop_.GetMonitors());
    if (monitors.empty()) {
      desktop_.ShowError(u"エラー", SharedString(kNoScreenSize));
    } else if (mode == MultiMonitorChoice::kPerMonitor) {
      ShowPerMonitor(store, monitors, refit);
    } else {
      ShowSpanned(store, monitors, refit);
    }
  } else if (store.GetBool(config_key::kResize) && !desktop_.GetScreenSize()) {
    // Said once, where the render would fail quietly on every picture.
    desktop_.ShowError(u"エラー", SharedString(kNoScreenSize));
  } else {
    ShowOnePicture(store, refit);
  }
  // The resident program waits long between changes: the pixel buffers a
  // change recycled among its own planes are given back, not kept for the
  // next one.
  Orvex::PlaneBlockCache::Instance().Flush();
}

void WallpaperCycle::ShowOnePicture(const ConfigStore& store, bool refit) {
  if (!refit || current_source_.IsEmpty()) {
    image_position_ = (image_position_ + 1) % static_cast<uint32_t>(image_list_.size());
    current_source_ = image_list_[image_position_];
  }
  monitor_sources_.clear();
  // A file that cannot be shown only costs its turn: the next change takes
  // the next entry, and nobody is interrupted by a message.
  try {
    RenderWallpaper(store, current_source_, loaders_, desktop_);
  } catch (const std::exception&) {
  }
}

void WallpaperCycle::ShowPerMonitor(const ConfigStore& store, const MonitorList& monitors,
                                    bool refit) {
  const auto take = [this](const Monitor& monitor) {
    const std::optional<uint32_t> at =
        TakeNextForMonitor(image_list_, image_position_, monitor.IsPortrait(), probe_);
    return image_list_[*at];
  };
  std::vector<SharedString> pictures;
  for (const Monitor& monitor : monitors) {
    SharedString kept;
    if (refit) {
      for (const MonitorSource& shown : monitor_sources_) {
        if (shown.monitor == monitor.name && !shown.source.IsEmpty()) kept = shown.source;
      }
    }
    pictures.push_back(kept.IsEmpty() ? take(monitor) : kept);
  }
  // Each broken picture is replaced by the next; after a whole lap of the
  // list there is nothing new left to try.
  size_t tries = 0;
  const ReplacementPicture replacement =
      [&](const Monitor& monitor) -> std::optional<SharedString> {
    if (++tries >= image_list_.size()) return std::nullopt;
    return take(monitor);
  };
  try {
    monitor_sources_ =
        RenderPerMonitorWallpaper(store, monitors, pictures, replacement, loaders_, desktop_);
    for (const MonitorSource& shown : monitor_sources_) {
      if (!shown.source.IsEmpty()) {
        current_source_ = shown.source;
        break;
      }
    }
  } catch (const std::exception&) {
  }
}

void WallpaperCycle::ShowSpanned(const ConfigStore& store, const MonitorList& monitors,
                                 bool refit) {
  if (!refit || current_source_.IsEmpty()) {
    image_position_ = (image_position_ + 1) % static_cast<uint32_t>(image_list_.size());
    current_source_ = image_list_[image_position_];
  }
  monitor_sources_.clear();
  try {
    RenderSpannedWallpaper(store, monitors, current_source_, loaders_, desktop_);
  } catch (const std::exception&) {
  }
}

void WallpaperCycle::RefreshImageList(const SharedString& folder) {
  if (!observer_started_ || !Orvex::EqualsIgnoreCase(watched_folder_, folder)) {
    observer_.Stop();
    observer_.Start(folder, true);
    watched_folder_ = folder;
    observer_started_ = true;
    image_list_.clear();
  }
  const int changes = observer_.TakeChangeCount();
  if (image_list_.empty() || changes > 0) {
    image_list_ = Orvex::ListEntries(watched_folder_, -1);
    ShuffleImageList(image_list_);
  }
}

void ShuffleImageList(std::vector<SharedString>& list) {
  std::mt19937& engine = Orvex::GetRandomEngine();
  for (size_t i = 1; i < list.size(); ++i) {
    const size_t j = engine() % (i + 1);
    std::swap(list[i], list[j]);
  }
}
