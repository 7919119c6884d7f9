#include "app/desktop.h"
#include "app/linux/wallpaper_backend.h"
#include "app/linux/x11_desktop.h"
#include "foundation/posix/system_path.h"

namespace {

// A bare X session: the pixels go straight into the root window's pixmap.
class X11Wallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32* pixels) override {
    desktop_.SetWallpaper(Orvex::Detail::FromSystemPath(file), pixels);
  }
  void ShowComposed(const std::string&, const ComposedWallpaper& wallpaper) override {
    desktop_.SetComposedWallpaper(wallpaper);
  }
  void Remove() override { desktop_.RemoveWallpaper(); }
  bool ReadsTheFile() const override { return false; }
  std::optional<Orvex::PlaneSize> ScreenSize() override { return desktop_.GetScreenSize(); }
  std::unique_ptr<Orvex::CPlane32> OfferPlane(const Orvex::PlaneSize& size) override {
    return desktop_.OfferWallpaperPlane(size);
  }

 private:
  X11Desktop desktop_;
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeX11Wallpaper() { return std::make_unique<X11Wallpaper>(); }
