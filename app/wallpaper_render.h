#pragma once

#include <cstdint>

#include "app/config_store.h"
#include "app/desktop.h"
#include "foundation/shared_string.h"
#include "imaging/plane_geometry.h"

namespace Orvex {
class CPlane32;
class LoaderRegistry;
class OpenedImage;
}  // namespace Orvex

// What a change says when it cannot learn the size of any screen.
inline constexpr char16_t kNoScreenSize[] = u"画面の大きさを取得できません";

// Fits the image file `source` to the screen as the settings ask (stretched
// or fitted with coloured gaps, at sub-pixel width, sharpened), saves the
// result as a bitmap in the settings' SaveFile and makes that the
// wallpaper. Throws when the file cannot be shown; the wallpaper is then
// left alone.
void RenderWallpaper(const ConfigStore& store, const Orvex::SharedString& source,
                     const Orvex::LoaderRegistry& loaders, IDesktop& desktop);

// Decodes `opened` and fits it into `area` of `target`, a plane that
// already has its size, as the settings ask; the area's pixels are exactly
// those a screen of the area's size gets. `image` is scratch: it takes the
// whole decoded image where the picture cannot be streamed.
void DrawFitted(const ConfigStore& store, IDesktop& desktop, Orvex::OpenedImage& opened,
                Orvex::CPlane32& image, Orvex::CPlane32& target, const Orvex::PlaneRect& area);
// The picture at its own size, centred in `area` and cut to it, the rest
// of the area in the desktop's colour: for Resize off.
void DrawUnscaled(IDesktop& desktop, Orvex::OpenedImage& opened, Orvex::CPlane32& image,
                  Orvex::CPlane32& target, const Orvex::PlaneRect& area);

// Where an image of `image` size goes on `screen` as the settings ask: the
// part of it that is drawn and the rectangle it is drawn into, as
// RenderWallpaper fits it.
struct ScreenPlacement {
  Orvex::PlaneRect src;
  Orvex::PlaneRect dst;
};
ScreenPlacement PlaceOnScreen(const ConfigStore& store, const Orvex::PlaneSize& image,
                              const Orvex::PlaneRect& screen);

// The colour for the gaps beside a fitted image: the mean of the image's
// edge rows or columns that face the gaps. source is the drawn part of the
// image; an empty one (an image too thin to cover a pixel) gives the whole
// image's mean.
uint32_t AutomaticGapColor(const Orvex::CPlane32& image, const Orvex::PlaneRect& source,
                           bool width_bound, int align_h, int align_v);
