#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_gsettings.h"
#include "app/linux/wallpaper_quoting.h"

namespace {

constexpr char kSchema[] = "org.mate.background";

// MATE takes a plain path, not a URI.
class MateWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    SetGSettings(kSchema,
                 {{"picture-filename", GVariantString(file)}, {"picture-options", "'stretched'"}});
  }
  // MATE has no style without a picture: an empty file name is its colour
  // alone.
  void Remove() override { SetGSettings(kSchema, {{"picture-filename", "''"}}); }
  std::optional<uint32_t> BackgroundColor() override {
    return GetGSettingsColor(kSchema, "primary-color");
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeMateWallpaper() { return std::make_unique<MateWallpaper>(); }
