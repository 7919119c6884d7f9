#include "app/wallpaper_cycle.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "codecs/bmp_saver.h"
#include "codecs/loader_registry.h"
#include "codecs/row_streaming_loader.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/random.h"
#include "imaging/auto_stretching_layout.h"
#include "imaging/pixel_filters.h"
#include "imaging/pixel_statistics.h"
#include "imaging/plane32.h"
#include "imaging/plane_block_cache.h"
#include "imaging/resample.h"
#include "imaging/resample_stream.h"
#include "imaging/subpixels.h"
#include "imaging/uncovered_rects.h"

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;

namespace {

constexpr int kBuildNumber = 15;
// The longest period the system timer accepts.
constexpr int64_t kMaxTimerPeriod = 0x7FFFFFFF;

uint32_t MeanColor(uint32_t a, uint32_t b) {
  uint32_t mean = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t ca = (a >> shift) & 0xFF;
    const uint32_t cb = (b >> shift) & 0xFF;
    mean |= ((ca + cb) / 2) << shift;
  }
  return mean;
}

}  // namespace

WallpaperCycle::WallpaperCycle(IDesktop& desktop, const Orvex::LoaderRegistry& loaders,
                               StoreFactory store_factory, ITrayHost* tray)
    : desktop_(desktop),
      tray_(tray),
      loaders_(loaders),
      store_factory_(std::move(store_factory)) {
  if (!store_factory_) {
    store_factory_ = [] { return ConfigStore(); };
  }
}

WallpaperCycle::~WallpaperCycle() { observer_.Stop(); }

void WallpaperCycle::Start(const ConfigStore& store) {
  suspended_ = store.GetBool(u"Suspend");
  ShowSuspendState();
  interval_seconds_ = store.GetInt(u"Interval(sec)");
  if (tray_ != nullptr) tray_->SetChangeTimer(TimerPeriod(interval_seconds_));
  if (!store.GetBool(u"WaitFirst")) {
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
  const bool suspend = store.GetBool(u"Suspend");
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
  const int interval = store.GetInt(u"Interval(sec)");
  if (interval == interval_seconds_) {
    return;
  }
  interval_seconds_ = interval;
  if (tray_ != nullptr) tray_->SetChangeTimer(TimerPeriod(interval_seconds_));
}

SharedString WallpaperCycle::ImageFolder(const ConfigStore& store) {
  return Orvex::MakeAbsoluteToExecutable(
      Orvex::EnsureTrailingSeparator(store.GetString(u"ImageDir")));
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
  if (store.GetBool(u"Suspend")) {
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
  image_position_ = (image_position_ + 1) % static_cast<uint32_t>(image_list_.size());
  current_source_ = image_list_[image_position_];

  // A file that cannot be shown only costs its turn: the next change takes
  // the next entry, and nobody is interrupted by a message.
  try {
    RenderAndSet(store, current_source_);
  } catch (const std::exception&) {
  }
  // The resident program waits long between changes: the pixel buffers a
  // change recycled among its own planes are given back, not kept for the
  // next one.
  Orvex::PlaneBlockCache::Instance().Flush();
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

void WallpaperCycle::RenderAndSet(const ConfigStore& store, const SharedString& source) {
  const SharedString save_path = Orvex::MakeAbsoluteToExecutable(store.GetString(u"SaveFile"));

  Orvex::CDib32 image;
  Orvex::CMemoryPlane32 work;
  const auto data = std::make_shared<Orvex::CFileData>(source);
  // The loader is chosen and the size read first; the pixels follow once
  // it is known where they go, so that a loader that hands out rows as it
  // decodes them can have them resampled meanwhile.
  Orvex::ImageLoadContext context;
  loaders_.SelectLoader(context, data);
  const PlaneSize image_size = context.loader->GetImageSize();
  image.SetSize(image_size);
  bool loaded = false;
  const Orvex::PlaneFill load = [&](const Orvex::RowsReady& rows_ready) {
    auto* streaming = dynamic_cast<Orvex::IRowStreamingLoader*>(context.loader.get());
    if (streaming != nullptr) {
      streaming->LoadStreaming(image, 0, 0, rows_ready);
    } else {
      context.loader->Load(image, 0, 0);
    }
    loaded = true;
  };
  const auto ensure_loaded = [&] {
    if (!loaded) load([](int32_t) {});
  };
  const int32_t w = image_size.width;
  const int32_t h = image_size.height;
  const Orvex::PlaneClip no_clip{};

  Orvex::CPlane32* result = &image;
  if (store.GetBool(u"Resize")) {
    std::vector<PlaneRect> gaps;
    std::optional<uint32_t> fill;
    const std::optional<PlaneSize> screen = desktop_.GetScreenSize();
    if (!screen || screen->width <= 0 || screen->height <= 0) {
      throw Orvex::RuntimeException(SharedString(u"画面の大きさを取得できません"));
    }
    const int32_t sw = screen->width;
    const int32_t sh = screen->height;
    const PlaneRect screen_rect{0, 0, sw, sh};
    PlaneRect src{0, 0, w, h};
    PlaneRect dst = screen_rect;
    // The gap colour is read from the image, so it is taken once the image
    // is decoded and before its plane is reused.
    std::function<std::optional<uint32_t>()> gap_color = [] { return std::optional<uint32_t>(); };
    if (store.GetBool(u"ResizeFixedAspectRatio")) {
      Orvex::AutoStretchingLayout layout;
      layout.SetTargetRect(screen_rect);
      layout.SetSourceRect(PlaneRect{0, 0, w, h});
      layout.SetAllowShrink(true);
      layout.SetAllowEnlarge(true);
      layout.SetCover(false);
      const int align_h = store.GetInt(u"ResizeAlignH");
      const int align_v = store.GetInt(u"ResizeAlignV");
      layout.SetAlignH(align_h);
      layout.SetAlignV(align_v);
      src = layout.GetSourceRect();
      dst = layout.GetDestRect();
      gaps = Orvex::GetUncoveredRects(screen_rect, dst);
      const bool width_bound = layout.IsWidthBound();
      const int bg_color = store.GetInt(u"ResizeBgColor");
      gap_color = [&, width_bound, align_h, align_v, bg_color]() -> std::optional<uint32_t> {
        switch (bg_color) {
          case 1:
            return desktop_.GetDesktopColor();
          case 2:
            return Orvex::AverageColor(image,
                                       PlaneRect{src.left, src.top, src.left + 2, src.bottom});
          default:
            return AutomaticGapColor(image, src, width_bound, align_h, align_v);
        }
      };
    }
    // An image too thin to cover one pixel leaves the whole screen as gap:
    // nothing is resampled, and the planes never get an empty size.
    const bool covers = !dst.IsEmpty() && !src.IsEmpty();
    if (store.GetBool(u"ClearType")) {
      const auto dw = static_cast<int32_t>(dst.Width());
      const auto dh = static_cast<int32_t>(dst.Height());
      if (covers) {
        work.SetSize(PlaneSize{3 * dw, dh});
        Orvex::ResampleLanczosWhileFilling(work, image, PlaneRect{0, 0, 3 * dw, dh}, src, no_clip,
                                           load);
      }
      ensure_loaded();
      fill = gap_color();
      image.SetSize(PlaneSize{sw, sh});
      if (covers) {
        Orvex::CollapseSubpixels(image, work, dst.left, dst.top, work.GetBounds(), no_clip);
      }
      result = &image;
    } else {
      work.SetSize(PlaneSize{sw, sh});
      if (covers) {
        Orvex::ResampleLanczosWhileFilling(work, image, dst, src, no_clip, load);
      }
      ensure_loaded();
      fill = gap_color();
      result = &work;
    }
    if (fill) {
      for (const PlaneRect& gap : gaps) {
        result->Fill(*fill, gap);
      }
    }
  } else {
    ensure_loaded();
  }

  if (store.GetBool(u"Sharp")) {
    Orvex::CPlane32* other = result == &image ? static_cast<Orvex::CPlane32*>(&work) : &image;
    other->SetSize(result->GetSize());
    Orvex::Sharpen(*other, *result, 0, 0, result->GetBounds(), no_clip);
    result = other;
  }

  // The default place (a cache folder on Linux) may not exist yet on a
  // fresh system.
  const SharedString save_folder = Orvex::DirectoryPart(save_path);
  if (!save_folder.IsEmpty() && !Orvex::IsDirectory(save_folder)) {
    Orvex::CreateDirectories(save_folder);
  }
  Orvex::CBmpSaver saver;
  saver.Save(save_path, *result, PlaneRect{0, 0, result->GetWidth(), result->GetHeight()});
  desktop_.SetWallpaper(save_path);
}

void ShuffleImageList(std::vector<SharedString>& list) {
  std::mt19937& engine = Orvex::GetRandomEngine();
  for (size_t i = 1; i < list.size(); ++i) {
    const size_t j = engine() % (i + 1);
    std::swap(list[i], list[j]);
  }
}

uint32_t AutomaticGapColor(const Orvex::CPlane32& image, const PlaneRect& source, bool width_bound,
                           int align_h, int align_v) {
  const PlaneRect whole{0, 0, image.GetWidth(), image.GetHeight()};
  if (source.IsEmpty()) {
    return Orvex::AverageColor(image, whole);
  }
  const auto [l, t, r, b] = source;
  if (width_bound) {
    const uint32_t top = Orvex::AverageColor(image, PlaneRect{l, t, r, t + 2});
    const uint32_t bottom = Orvex::AverageColor(image, PlaneRect{l, b - 2, r, b});
    switch (align_v) {
      case 0:
        return bottom;
      case 1:
        return MeanColor(top, bottom);
      case 2:
        return top;
      default:
        return Orvex::AverageColor(image, whole);
    }
  }
  const uint32_t left = Orvex::AverageColor(image, PlaneRect{l, t, l + 2, b});
  const uint32_t right = Orvex::AverageColor(image, PlaneRect{r - 2, t, r, b});
  switch (align_h) {
    case 0:
      return right;
    case 1:
      return MeanColor(left, right);
    case 2:
      return left;
    default:
      return Orvex::AverageColor(image, whole);
  }
}
