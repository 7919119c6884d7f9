#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

namespace {

// hyprctl answers "ok" to a request hyprpaper took, and its reason
// otherwise, with an exit code of 0 either way.
void RunHyprpaper(const std::vector<std::string>& request) {
  std::vector<std::string> argv = {"hyprctl", "hyprpaper"};
  argv.insert(argv.end(), request.begin(), request.end());
  std::string reply = Orvex::RunCommandChecked(argv);
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == ' ')) reply.pop_back();
  if (reply != "ok") {
    throw Orvex::RuntimeException(u"壁紙の設定に失敗 : hyprpaper : " +
                                  Orvex::GetDefaultEncoding().ToWide(reply.substr(0, 200)));
  }
}

// Hyprland's wallpaper is hyprpaper's: a picture is loaded, shown on every
// monitor (an empty monitor name), and the one it replaced let go.
class HyprlandWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    RunHyprpaper({"preload", file});
    RunHyprpaper({"wallpaper", "," + file});
    RunHyprpaper({"unload", "unused"});
  }
  void Remove() override { RunHyprpaper({"unload", "all"}); }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeHyprlandWallpaper() {
  return std::make_unique<HyprlandWallpaper>();
}
