#include "app/wallpaper_render.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "app/config_keys.h"
#include "codecs/bmp_saver.h"
#include "codecs/opened_image.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "imaging/auto_stretching_layout.h"
#include "imaging/pixel_filters.h"
#include "imaging/plane32.h"
#include "imaging/subpixels.h"
#include "imaging/uncovered_rects.h"

using Orvex::PlaneRect;
using Orvex::PlaneSize;
using Orvex::SharedString;

namespace {

uint32_t MeanColor(uint32_t a, uint32_t b) {
  uint32_t mean = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t ca = (a >> shift) & 0xFF;
    const uint32_t cb = (b >> shift) & 0xFF;
    mean |= ((ca + cb) / 2) << shift;
  }
  return mean;
}

// The means of B, G, R over one or two rectangles of an image, as
// AverageColor gives them, gathered from its rows as they pass by: the
// edge that the gap colour is taken from, without keeping the image.
class EdgeColor {
 public:
  // The edge AutomaticGapColor describes.
  static EdgeColor Automatic(const PlaneSize& image, const PlaneRect& source, bool width_bound,
                             int align_h, int align_v) {
    const PlaneRect whole{0, 0, image.width, image.height};
    if (source.IsEmpty()) return EdgeColor(image, whole);
    const auto [l, t, r, b] = source;
    const PlaneRect before = width_bound ? PlaneRect{l, t, r, t + 2} : PlaneRect{l, t, l + 2, b};
    const PlaneRect after = width_bound ? PlaneRect{l, b - 2, r, b} : PlaneRect{r - 2, t, r, b};
    switch (width_bound ? align_v : align_h) {
      case 0:
        return EdgeColor(image, after);
      case 1:
        return EdgeColor(image, before, after);
      case 2:
        return EdgeColor(image, before);
      default:
        return EdgeColor(image, whole);
    }
  }
  // The two left-most columns of the drawn part.
  static EdgeColor LeftColumns(const PlaneSize& image, const PlaneRect& source) {
    return EdgeColor(image, PlaneRect{source.left, source.top, source.left + 2, source.bottom});
  }

  void Row(int32_t y, const uint8_t* row) {
    for (Area& area : areas_) {
      if (y < area.rect.top || y >= area.rect.bottom) continue;
      const uint8_t* p = row + 4 * static_cast<ptrdiff_t>(area.rect.left);
      for (int32_t x = area.rect.left; x < area.rect.right; ++x, p += 4) {
        area.blue += p[0];
        area.green += p[1];
        area.red += p[2];
      }
    }
  }

  uint32_t Color() const {
    const uint32_t first = Mean(areas_[0]);
    return areas_.size() == 1 ? first : MeanColor(first, Mean(areas_[1]));
  }

 private:
  struct Area {
    PlaneRect rect;
    // 64-bit sums: 32 bits overflow past about 16.8 million pixels of 255.
    uint64_t blue = 0;
    uint64_t green = 0;
    uint64_t red = 0;
  };

  EdgeColor(const PlaneSize& image, const PlaneRect& rect) { Add(image, rect); }
  EdgeColor(const PlaneSize& image, const PlaneRect& first, const PlaneRect& second) {
    Add(image, first);
    Add(image, second);
  }
  void Add(const PlaneSize& image, const PlaneRect& rect) {
    Area area;
    area.rect = Orvex::Intersect(rect, PlaneRect{0, 0, image.width, image.height});
    if (area.rect.IsEmpty()) area.rect = PlaneRect{0, 0, 0, 0};
    areas_.push_back(area);
  }
  static uint32_t Mean(const Area& area) {
    if (area.rect.IsEmpty()) return 0;
    const uint64_t n = uint64_t(area.rect.Width()) * uint64_t(area.rect.Height());
    return uint32_t(area.red / n) | uint32_t(area.green / n) << 8 | uint32_t(area.blue / n) << 16;
  }

  std::vector<Area> areas_;
};

void ShowRows(const Orvex::CPlane32& image, EdgeColor& edge) {
  const Orvex::PlaneBitsLock bits(image);
  for (int32_t y = 0; y < image.GetHeight(); ++y) edge.Row(y, bits.Row(y));
}

// Where the image goes on the screen and what colour the rest gets.
struct ScreenFit {
  PlaneRect src;
  PlaneRect dst;
  std::vector<PlaneRect> gaps;
  // The gaps take the desktop's colour, or that of the image's edge, seen
  // as the rows are decoded; with neither they keep what the plane holds.
  bool desktop_color = false;
  std::optional<EdgeColor> edge;
};

ScreenFit FitToScreen(const ConfigStore& store, const PlaneSize& image, const PlaneRect& screen) {
  ScreenFit fit;
  fit.src = PlaneRect{0, 0, image.width, image.height};
  fit.dst = screen;
  if (!store.GetBool(config_key::kResizeFixedAspectRatio)) return fit;

  Orvex::AutoStretchingLayout layout;
  layout.SetTargetRect(screen);
  layout.SetSourceRect(fit.src);
  layout.SetAllowShrink(true);
  layout.SetAllowEnlarge(true);
  layout.SetCover(false);
  const int align_h = store.GetInt(config_key::kResizeAlignH);
  const int align_v = store.GetInt(config_key::kResizeAlignV);
  layout.SetAlignH(align_h);
  layout.SetAlignV(align_v);
  fit.src = layout.GetSourceRect();
  fit.dst = layout.GetDestRect();
  fit.gaps = Orvex::GetUncoveredRects(screen, fit.dst);
  switch (static_cast<BgColorChoice>(store.GetInt(config_key::kResizeBgColor))) {
    case BgColorChoice::kDesktop:
      fit.desktop_color = true;
      break;
    case BgColorChoice::kLeftColumns:
      fit.edge = EdgeColor::LeftColumns(image, fit.src);
      break;
    default:
      fit.edge = EdgeColor::Automatic(image, fit.src, layout.IsWidthBound(), align_h, align_v);
      break;
  }
  return fit;
}

PlaneRect Offset(PlaneRect rect, int32_t dx, int32_t dy) {
  rect.left += dx;
  rect.right += dx;
  rect.top += dy;
  rect.bottom += dy;
  return rect;
}

}  // namespace

void DrawFitted(const ConfigStore& store, IDesktop& desktop, Orvex::OpenedImage& opened,
                Orvex::CPlane32& image, Orvex::CPlane32& target, const PlaneRect& area) {
  if (area.IsEmpty()) return;
  // Laid out as on a screen of the area's size, then moved into place, so
  // that a monitor's part is byte for byte what a screen of its size shows.
  const PlaneRect origin{0, 0, static_cast<int32_t>(area.Width()),
                         static_cast<int32_t>(area.Height())};
  ScreenFit fit = FitToScreen(store, opened.Size(), origin);
  fit.dst = Offset(fit.dst, area.left, area.top);
  for (PlaneRect& gap : fit.gaps) gap = Offset(gap, area.left, area.top);
  Orvex::RowObserver observe;
  if (fit.edge) {
    observe = [edge = &*fit.edge](int32_t y, const uint8_t* row) { edge->Row(y, row); };
  }
  // An image too thin to cover one pixel leaves the whole area as gap:
  // nothing is resampled, and the planes never get an empty size.
  const bool covers = !fit.dst.IsEmpty() && !fit.src.IsEmpty();
  if (!covers) {
    opened.Load(image);
    if (fit.edge) ShowRows(image, *fit.edge);
  } else if (store.GetBool(config_key::kClearType)) {
    // Resampled to three times the width, and every row of that collapsed
    // to one pixel per three columns as soon as it is made.
    const auto dw = static_cast<int32_t>(fit.dst.Width());
    const auto dh = static_cast<int32_t>(fit.dst.Height());
    const Orvex::PlaneBitsLock target_bits(target);
    const PlaneRect at = fit.dst;
    opened.LoadResampledRows(
        image, PlaneSize{3 * dw, dh}, fit.src,
        [&](const Orvex::SDestRows& rows) {
          for (int32_t i = 0; i < rows.count; ++i) {
            uint8_t* out = target_bits.Row(at.top + rows.top + i) +
                           4 * static_cast<ptrdiff_t>(at.left + rows.left / 3);
            Orvex::CollapseSubpixelRow(out, rows.Row(i), rows.width / 3);
          }
        },
        observe);
  } else {
    opened.LoadResampled(image, target, fit.dst, fit.src, observe);
  }
  std::optional<uint32_t> fill;
  if (fit.desktop_color) fill = desktop.GetDesktopColor();
  if (fit.edge) fill = fit.edge->Color();
  if (fill) {
    for (const PlaneRect& gap : fit.gaps) target.Fill(*fill, gap);
  }
}

void DrawUnscaled(IDesktop& desktop, Orvex::OpenedImage& opened, Orvex::CPlane32& image,
                  Orvex::CPlane32& target, const PlaneRect& area) {
  opened.Load(image);
  target.Fill(desktop.GetDesktopColor(), area);
  // Centred; what does not fit is cut off evenly on both sides.
  const auto dx = static_cast<int32_t>(area.left + (area.Width() - image.GetWidth()) / 2);
  const auto dy = static_cast<int32_t>(area.top + (area.Height() - image.GetHeight()) / 2);
  target.Copy(image, dx, dy, image.GetBounds(), Orvex::PlaneClip{area, true});
}

namespace {

PlaneSize ScreenSize(IDesktop& desktop) {
  const std::optional<PlaneSize> screen = desktop.GetScreenSize();
  if (!screen || screen->width <= 0 || screen->height <= 0) {
    throw Orvex::RuntimeException(SharedString(kNoScreenSize));
  }
  return *screen;
}

}  // namespace

void RenderWallpaper(const ConfigStore& store, const SharedString& source,
                     const Orvex::LoaderRegistry& loaders, IDesktop& desktop) {
  const SharedString save_path =
      Orvex::MakeAbsoluteToExecutable(store.GetString(config_key::kSaveFile));
  const bool sharp = store.GetBool(config_key::kSharp);

  // The loader is chosen and the size read first; the pixels follow once
  // it is known where they go.
  Orvex::OpenedImage opened(loaders, std::make_shared<Orvex::CFileData>(source));
  Orvex::CDib32 image;
  Orvex::CMemoryPlane32 work;
  // The plane the wallpaper ends in may be one the desktop takes as it is:
  // the pixels are then drawn once and never copied for it.
  std::unique_ptr<Orvex::CPlane32> offered;
  Orvex::CPlane32* result = &image;
  if (store.GetBool(config_key::kResize)) {
    const PlaneSize screen = ScreenSize(desktop);
    offered = desktop.OfferWallpaperPlane(screen);
    Orvex::CPlane32& fitted = offered && !sharp ? *offered : work;
    // `image` holds the whole decoded image only for loaders that cannot
    // hand out rows, or when nothing of it is drawn.
    fitted.SetSize(screen);
    DrawFitted(store, desktop, opened, image, fitted, fitted.GetBounds());
    result = &fitted;
  } else {
    opened.Load(image);
  }

  if (sharp) {
    Orvex::CPlane32* other = &image;
    if (result == &image) {
      other = &work;
    } else if (offered) {
      other = offered.get();
    }
    other->SetSize(result->GetSize());
    Orvex::Sharpen(*other, *result, 0, 0, result->GetBounds(), Orvex::PlaneClip{});
    result = other;
  }

  // The default place (a cache folder on Linux) may not exist yet on a
  // fresh system.
  const SharedString save_folder = Orvex::DirectoryPart(save_path);
  if (!save_folder.IsEmpty() && !Orvex::IsDirectory(save_folder)) {
    Orvex::CreateDirectories(save_folder);
  }
  const PlaneRect whole{0, 0, result->GetWidth(), result->GetHeight()};
  if (!offered || result != offered.get()) {
    Orvex::CBmpSaver().Save(save_path, *result, whole);
    desktop.SetWallpaper(save_path, result);
    return;
  }
  // The desktop takes its own plane as it is and never reads the file: the
  // file is written while the display server takes and paints the pixels,
  // which is most of what the change would otherwise wait for at its end.
  std::exception_ptr save_error;
  std::thread writer([&] {
    try {
      Orvex::CBmpSaver().Save(save_path, *result, whole);
    } catch (...) {
      save_error = std::current_exception();
    }
  });
  try {
    desktop.SetWallpaper(save_path, result);
  } catch (...) {
    writer.join();
    throw;
  }
  writer.join();
  if (save_error) std::rethrow_exception(save_error);
}

uint32_t AutomaticGapColor(const Orvex::CPlane32& image, const PlaneRect& source, bool width_bound,
                           int align_h, int align_v) {
  EdgeColor edge = EdgeColor::Automatic(image.GetSize(), source, width_bound, align_h, align_v);
  ShowRows(image, edge);
  return edge.Color();
}

ScreenPlacement PlaceOnScreen(const ConfigStore& store, const PlaneSize& image,
                              const PlaneRect& screen) {
  const ScreenFit fit = FitToScreen(store, image, screen);
  return ScreenPlacement{fit.src, fit.dst};
}
