#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_gsettings.h"
#include "app/linux/wallpaper_quoting.h"

namespace {

constexpr char kSchema[] = "org.cinnamon.desktop.background";

class CinnamonWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    SetGSettings(kSchema, {{"picture-uri", GVariantString(FileUri(file))},
                           {"picture-options", "'stretched'"}});
  }
  // The background colour alone.
  void Remove() override { SetGSettings(kSchema, {{"picture-options", "'none'"}}); }
  std::optional<uint32_t> BackgroundColor() override {
    return GetGSettingsColor(kSchema, "primary-color");
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeCinnamonWallpaper() {
  return std::make_unique<CinnamonWallpaper>();
}
