#include "app/composed_render.h"

#include <cstdint>
#include <exception>
#include <memory>

#include "app/config_keys.h"
#include "app/wallpaper_render.h"
#include "codecs/bmp_saver.h"
#include "codecs/opened_image.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "imaging/pixel_filters.h"
#include "imaging/plane32.h"
#include "imaging/plane_rotation.h"

using Orvex::PlaneRect;
using Orvex::SharedString;

namespace {

// A monitor's rectangle in the composed picture, whose top-left corner is
// the box's.
PlaneRect InBox(const Monitor& monitor, const PlaneRect& box) {
  const PlaneRect& r = monitor.rect;
  return PlaneRect{r.left - box.left, r.top - box.top, r.right - box.left, r.bottom - box.top};
}

// One picture into one area of the composed plane.
void DrawPicture(const ConfigStore& store, const SharedString& source,
                 const Orvex::LoaderRegistry& loaders, IDesktop& desktop, Orvex::CPlane32& composed,
                 const PlaneRect& area) {
  Orvex::OpenedImage opened(loaders, std::make_shared<Orvex::CFileData>(source));
  Orvex::CDib32 image;
  if (store.GetBool(config_key::kResize)) {
    DrawFitted(store, desktop, opened, image, composed, area);
  } else {
    DrawUnscaled(desktop, opened, image, composed, area);
  }
}

// Sharpens each of `areas` on its own, as a screen of its size would be,
// and gives back the plane that holds the result.
Orvex::CPlane32* SharpenAreas(Orvex::CPlane32& composed, Orvex::CPlane32& other,
                              const std::vector<PlaneRect>& areas) {
  other.SetSize(composed.GetSize());
  // What no area covers is copied as it is.
  other.CopyAll(composed, Orvex::PlaneClip{});
  for (const PlaneRect& area : areas) {
    Orvex::Sharpen(other, composed, static_cast<int32_t>(area.left), static_cast<int32_t>(area.top),
                   area, Orvex::PlaneClip{});
  }
  return &other;
}

// Writes the monitors' own files where the desktop wants them, the
// composed bitmap as SaveFile, and sets the wallpaper.
void ShowComposed(const ConfigStore& store, Orvex::CPlane32& composed, const PlaneRect& box,
                  const MonitorList& monitors, IDesktop& desktop) {
  const SharedString save_path =
      Orvex::MakeAbsoluteToExecutable(store.GetString(config_key::kSaveFile));
  const SharedString save_folder = Orvex::DirectoryPart(save_path);
  if (!save_folder.IsEmpty() && !Orvex::IsDirectory(save_folder)) {
    Orvex::CreateDirectories(save_folder);
  }
  Orvex::CBmpSaver saver;
  ComposedWallpaper wallpaper;
  wallpaper.box = box;
  for (size_t i = 0; i < monitors.size(); ++i) {
    MonitorWallpaper part{monitors[i], SharedString()};
    if (desktop.WantsMonitorFiles()) {
      part.path = MonitorFilePath(save_path, monitors[i], i);
      saver.Save(part.path, composed,
                 Orvex::Intersect(InBox(monitors[i], box), composed.GetBounds()));
    }
    wallpaper.monitors.push_back(part);
  }
  if (desktop.TilesComposedPicture()) {
    // A tiled picture starts at the virtual origin (the primary monitor's
    // top-left corner): what lies left of or above it comes round from the
    // picture's far edges.
    Orvex::RotatePlane(composed, box.left, box.top);
  }
  saver.Save(save_path, composed, composed.GetBounds());
  wallpaper.path = save_path;
  wallpaper.pixels = &composed;
  desktop.SetComposedWallpaper(wallpaper);
}

// Gives the composed plane the size of the box around the monitors and
// returns the box; throws when there is no monitor to compose for.
PlaneRect SizeForMonitors(Orvex::CMemoryPlane32& composed, const MonitorList& monitors) {
  const std::optional<Orvex::PlaneSize> size = BoundingBoxSize(monitors);
  if (!size) throw Orvex::RuntimeException(SharedString(kNoScreenSize));
  composed.SetSize(*size);
  return BoundingBox(monitors);
}

}  // namespace

std::vector<MonitorSource> RenderPerMonitorWallpaper(const ConfigStore& store,
                                                     const MonitorList& monitors,
                                                     const std::vector<SharedString>& pictures,
                                                     const ReplacementPicture& replacement,
                                                     const Orvex::LoaderRegistry& loaders,
                                                     IDesktop& desktop) {
  Orvex::CMemoryPlane32 composed;
  const PlaneRect box = SizeForMonitors(composed, monitors);
  const uint32_t background = desktop.GetDesktopColor();
  for (const PlaneRect& gap : UncoveredByMonitors(box, monitors)) {
    composed.Fill(background, InBox(Monitor{gap, false, SharedString()}, box));
  }

  std::vector<MonitorSource> shown;
  std::vector<PlaneRect> areas;
  bool any = false;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const Monitor& monitor = monitors[i];
    const PlaneRect area = InBox(monitor, box);
    areas.push_back(area);
    std::optional<SharedString> source;
    if (i < pictures.size()) source = pictures[i];
    MonitorSource result{monitor.name, SharedString()};
    while (source) {
      // A picture that cannot be shown only costs its turn on this monitor.
      try {
        DrawPicture(store, *source, loaders, desktop, composed, area);
        result.source = *source;
        any = true;
        break;
      } catch (const std::exception&) {
      }
      source = replacement ? replacement(monitor) : std::nullopt;
    }
    // Whatever a failed decode left behind is covered.
    if (result.source.IsEmpty()) composed.Fill(background, area);
    shown.push_back(result);
  }
  if (!any) throw Orvex::RuntimeException(SharedString(u"表示できる画像がありません"));

  Orvex::CPlane32* result = &composed;
  Orvex::CMemoryPlane32 sharpened;
  if (store.GetBool(config_key::kSharp)) result = SharpenAreas(composed, sharpened, areas);
  ShowComposed(store, *result, box, monitors, desktop);
  return shown;
}

void RenderSpannedWallpaper(const ConfigStore& store, const MonitorList& monitors,
                            const SharedString& source, const Orvex::LoaderRegistry& loaders,
                            IDesktop& desktop) {
  Orvex::CMemoryPlane32 composed;
  const PlaneRect box = SizeForMonitors(composed, monitors);
  DrawPicture(store, source, loaders, desktop, composed, composed.GetBounds());
  Orvex::CPlane32* result = &composed;
  Orvex::CMemoryPlane32 sharpened;
  if (store.GetBool(config_key::kSharp)) {
    result = SharpenAreas(composed, sharpened, {composed.GetBounds()});
  }
  ShowComposed(store, *result, box, monitors, desktop);
}

SharedString MonitorFilePath(const SharedString& composed_path, const Monitor& monitor,
                             size_t index) {
  std::u16string name;
  for (const char16_t c : monitor.name.View()) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       (c >= u'0' && c <= u'9') || c == u'-' || c == u'_';
    name += plain ? c : u'_';
  }
  if (name.empty()) name = SharedString::Format(u"%d", static_cast<int>(index + 1)).Str();
  const SharedString extension = Orvex::GetExtension(composed_path);
  const SharedString stem = Orvex::ChangeExtension(composed_path, SharedString());
  return stem + u"-" + SharedString(std::u16string_view(name)) + u"." +
         (extension.IsEmpty() ? SharedString(u"bmp") : extension);
}
