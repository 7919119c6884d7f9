#include "app/wallpaper_render.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "codecs/bmp_saver.h"
#include "codecs/opened_image.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "imaging/auto_stretching_layout.h"
#include "imaging/pixel_filters.h"
#include "imaging/pixel_statistics.h"
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

// Where the image goes on the screen and what colour the rest gets.
struct ScreenFit {
  PlaneRect src;
  PlaneRect dst;
  std::vector<PlaneRect> gaps;
  // Reads the decoded image, so it is asked once the pixels are there and
  // before their plane is reused. No colour: the gaps keep what the plane
  // holds.
  std::function<std::optional<uint32_t>(const Orvex::CPlane32& image)> gap_color;
};

ScreenFit FitToScreen(const ConfigStore& store, IDesktop& desktop, const PlaneSize& image,
                      const PlaneRect& screen) {
  ScreenFit fit;
  fit.src = PlaneRect{0, 0, image.width, image.height};
  fit.dst = screen;
  fit.gap_color = [](const Orvex::CPlane32&) { return std::optional<uint32_t>(); };
  if (!store.GetBool(u"ResizeFixedAspectRatio")) return fit;

  Orvex::AutoStretchingLayout layout;
  layout.SetTargetRect(screen);
  layout.SetSourceRect(fit.src);
  layout.SetAllowShrink(true);
  layout.SetAllowEnlarge(true);
  layout.SetCover(false);
  const int align_h = store.GetInt(u"ResizeAlignH");
  const int align_v = store.GetInt(u"ResizeAlignV");
  layout.SetAlignH(align_h);
  layout.SetAlignV(align_v);
  fit.src = layout.GetSourceRect();
  fit.dst = layout.GetDestRect();
  fit.gaps = Orvex::GetUncoveredRects(screen, fit.dst);
  const bool width_bound = layout.IsWidthBound();
  const PlaneRect src = fit.src;
  switch (store.GetInt(u"ResizeBgColor")) {
    case 1:
      fit.gap_color = [&desktop](const auto&) {
        return std::optional<uint32_t>(desktop.GetDesktopColor());
      };
      break;
    case 2:
      fit.gap_color = [src](const Orvex::CPlane32& pixels) {
        return std::optional<uint32_t>(
            Orvex::AverageColor(pixels, PlaneRect{src.left, src.top, src.left + 2, src.bottom}));
      };
      break;
    default:
      fit.gap_color = [=](const Orvex::CPlane32& pixels) {
        return std::optional<uint32_t>(
            AutomaticGapColor(pixels, src, width_bound, align_h, align_v));
      };
      break;
  }
  return fit;
}

// Decodes the image and fits it to the screen; returns the plane, `image`
// or `work`, that holds the screen's pixels.
Orvex::CPlane32* DecodeFitted(const ConfigStore& store, IDesktop& desktop,
                              Orvex::OpenedImage& opened, Orvex::CPlane32& image,
                              Orvex::CPlane32& work) {
  const std::optional<PlaneSize> screen = desktop.GetScreenSize();
  if (!screen || screen->width <= 0 || screen->height <= 0) {
    throw Orvex::RuntimeException(SharedString(u"画面の大きさを取得できません"));
  }
  const ScreenFit fit =
      FitToScreen(store, desktop, opened.Size(), PlaneRect{0, 0, screen->width, screen->height});
  // An image too thin to cover one pixel leaves the whole screen as gap:
  // nothing is resampled, and the planes never get an empty size.
  const bool covers = !fit.dst.IsEmpty() && !fit.src.IsEmpty();
  Orvex::CPlane32* result = &work;
  std::optional<uint32_t> fill;
  if (store.GetBool(u"ClearType")) {
    const auto dw = static_cast<int32_t>(fit.dst.Width());
    const auto dh = static_cast<int32_t>(fit.dst.Height());
    if (covers) {
      work.SetSize(PlaneSize{3 * dw, dh});
      opened.LoadResampled(image, work, PlaneRect{0, 0, 3 * dw, dh}, fit.src);
    } else {
      opened.Load(image);
    }
    fill = fit.gap_color(image);
    image.SetSize(*screen);
    if (covers) {
      Orvex::CollapseSubpixels(image, work, fit.dst.left, fit.dst.top, work.GetBounds(),
                               Orvex::PlaneClip{});
    }
    result = &image;
  } else {
    work.SetSize(*screen);
    if (covers) {
      opened.LoadResampled(image, work, fit.dst, fit.src);
    } else {
      opened.Load(image);
    }
    fill = fit.gap_color(image);
  }
  if (fill) {
    for (const PlaneRect& gap : fit.gaps) {
      result->Fill(*fill, gap);
    }
  }
  return result;
}

}  // namespace

void RenderWallpaper(const ConfigStore& store, const SharedString& source,
                     const Orvex::LoaderRegistry& loaders, IDesktop& desktop) {
  const SharedString save_path = Orvex::MakeAbsoluteToExecutable(store.GetString(u"SaveFile"));

  // The loader is chosen and the size read first; the pixels follow once
  // it is known where they go.
  Orvex::OpenedImage opened(loaders, std::make_shared<Orvex::CFileData>(source));
  Orvex::CDib32 image;
  Orvex::CMemoryPlane32 work;
  Orvex::CPlane32* result = &image;
  if (store.GetBool(u"Resize")) {
    result = DecodeFitted(store, desktop, opened, image, work);
  } else {
    opened.Load(image);
  }

  if (store.GetBool(u"Sharp")) {
    Orvex::CPlane32* other = result == &image ? static_cast<Orvex::CPlane32*>(&work) : &image;
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
  Orvex::CBmpSaver saver;
  saver.Save(save_path, *result, PlaneRect{0, 0, result->GetWidth(), result->GetHeight()});
  desktop.SetWallpaper(save_path, result);
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
