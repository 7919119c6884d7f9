#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_gsettings.h"
#include "app/linux/wallpaper_quoting.h"

namespace {

constexpr char kSchema[] = "org.gnome.desktop.background";

// GNOME, Unity and Budgie. Since GNOME 42 the dark style shows a picture
// of its own, so both keys get the file where the second one exists.
class GnomeWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    const std::string uri = GVariantString(FileUri(file));
    std::vector<std::pair<std::string, std::string>> values = {{"picture-uri", uri}};
    if (HasGSettingsKey(kSchema, "picture-uri-dark")) values.emplace_back("picture-uri-dark", uri);
    values.emplace_back("picture-options", "'stretched'");
    SetGSettings(kSchema, values);
  }
  // The background colour alone.
  void Remove() override { SetGSettings(kSchema, {{"picture-options", "'none'"}}); }
  std::optional<uint32_t> BackgroundColor() override {
    return GetGSettingsColor(kSchema, "primary-color");
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeGnomeWallpaper() {
  return std::make_unique<GnomeWallpaper>();
}
