#include "app/linux/wallpaper_backend.h"
#include "foundation/posix/run_command.h"

namespace {

// pcmanfm-qt draws LXQt's desktop and hands the request to its running
// instance. It fits the picture to each screen on its own and has no mode
// that spans one over all of them, so a picture composed for several
// monitors is shown as any other.
class LxqtWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    Orvex::RunCommandChecked(
        {"pcmanfm-qt", "--set-wallpaper", file, "--wallpaper-mode", "stretch"});
  }
  void Remove() override { Orvex::RunCommandChecked({"pcmanfm-qt", "--wallpaper-mode", "color"}); }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeLxqtWallpaper() { return std::make_unique<LxqtWallpaper>(); }
