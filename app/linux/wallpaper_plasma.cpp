#include "app/linux/wallpaper_plasma.h"

#include "app/desktop.h"
#include "app/linux/kscreen_monitors.h"
#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_quoting.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"

namespace {

// Each distribution ships a different one of these; any will do.
constexpr const char* kTools[] = {"qdbus6", "qdbus", "gdbus", "dbus-send"};

// Written for the oldest script engine still in use (Plasma 5): var and
// indexed loops only.
std::string ForEveryDesktop(const std::string& plugin, const std::string& settings) {
  return "var all = desktops();\n"
         "for (var i = 0; i < all.length; i++) {\n"
         "  var d = all[i];\n"
         "  d.wallpaperPlugin = \"" +
         plugin +
         "\";\n"
         "  d.currentConfigGroup = [\"Wallpaper\", \"" +
         plugin + "\", \"General\"];\n" + settings + "}\n";
}

void RunScript(const std::string& script) {
  for (const char* tool : kTools) {
    if (Orvex::IsProgramAvailable(tool)) {
      Orvex::RunCommandChecked(PlasmaScriptCommand(tool, script));
      return;
    }
  }
  throw Orvex::RuntimeException(
      u"壁紙を設定できません : qdbus, gdbus, dbus-send のどれも見つかりません");
}

class PlasmaWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    RunScript(PlasmaShowScript(file));
  }
  void Remove() override { RunScript(PlasmaRemoveScript()); }

  std::optional<MonitorList> Monitors() override { return QueryKScreenMonitors(); }
  // The box around the outputs, as an X screen is: a Wayland session may
  // have no X server to ask.
  std::optional<Orvex::PlaneSize> ScreenSize() override {
    const std::optional<MonitorList> monitors = Monitors();
    return monitors ? BoundingBoxSize(*monitors) : std::nullopt;
  }
  // Each desktop containment has a picture of its own.
  bool WantsMonitorFiles() const override { return true; }
  void ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper) override {
    std::vector<PlasmaScreenPicture> pictures;
    for (const MonitorWallpaper& monitor : wallpaper.monitors) {
      if (monitor.path.IsEmpty()) continue;
      pictures.push_back({monitor.monitor.rect, Orvex::Detail::ToSystemPath(monitor.path)});
    }
    RunScript(PlasmaShowPerScreenScript(pictures, file));
  }
};

}  // namespace

std::string PlasmaShowScript(const std::string& file) {
  // FillMode 0 stretches; the picture is made for the screen already.
  return ForEveryDesktop("org.kde.image", "  d.writeConfig(\"Image\", " +
                                              ScriptString(FileUri(file)) +
                                              ");\n  d.writeConfig(\"FillMode\", 0);\n");
}

std::string PlasmaShowPerScreenScript(const std::vector<PlasmaScreenPicture>& pictures,
                                      const std::string& fallback) {
  // Screens are numbered by the shell, not by output name, and the numbers
  // change as outputs come and go: the rectangle is what both sides agree
  // on.
  std::string script = "var pictures = [\n";
  for (const PlasmaScreenPicture& picture : pictures) {
    script += "  [" + std::to_string(picture.rect.left) + ", " + std::to_string(picture.rect.top) +
              ", " + std::to_string(picture.rect.Width()) + ", " +
              std::to_string(picture.rect.Height()) + ", " + ScriptString(FileUri(picture.file)) +
              "],\n";
  }
  script +=
      "];\n"
      // A scaled screen's rectangle may be rounded otherwise than ours:
      // the picture whose rectangle covers most of the screen, and more
      // than half of it, is the screen's.
      "function pictureFor(screen) {\n"
      "  if (screen < 0) return null;\n"
      "  var g = screenGeometry(screen);\n"
      "  var best = null, covered = g.width * g.height / 2;\n"
      "  for (var j = 0; j < pictures.length; j++) {\n"
      "    var p = pictures[j];\n"
      "    var w = Math.min(g.x + g.width, p[0] + p[2]) - Math.max(g.x, p[0]);\n"
      "    var h = Math.min(g.y + g.height, p[1] + p[3]) - Math.max(g.y, p[1]);\n"
      "    if (w > 0 && h > 0 && w * h > covered) {\n"
      "      best = p[4];\n"
      "      covered = w * h;\n"
      "    }\n"
      "  }\n"
      "  return best;\n"
      "}\n";
  return script + ForEveryDesktop("org.kde.image",
                                  "  var image = pictureFor(d.screen);\n"
                                  "  d.writeConfig(\"Image\", image !== null ? image : " +
                                      ScriptString(FileUri(fallback)) +
                                      ");\n  d.writeConfig(\"FillMode\", 0);\n");
}

std::string PlasmaRemoveScript() {
  return ForEveryDesktop("org.kde.color", "  d.writeConfig(\"Color\", \"0,0,0\");\n");
}

std::vector<std::string> PlasmaScriptCommand(const std::string& tool, const std::string& script) {
  if (tool == "gdbus") {
    // gdbus reads its arguments as GVariant text.
    return {"gdbus",
            "call",
            "--session",
            "--dest",
            "org.kde.plasmashell",
            "--object-path",
            "/PlasmaShell",
            "--method",
            "org.kde.PlasmaShell.evaluateScript",
            GVariantString(script)};
  }
  if (tool == "dbus-send") {
    return {"dbus-send",       "--session",
            "--print-reply",   "--dest=org.kde.plasmashell",
            "/PlasmaShell",    "org.kde.PlasmaShell.evaluateScript",
            "string:" + script};
  }
  return {tool, "org.kde.plasmashell", "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript",
          script};
}

std::unique_ptr<WallpaperBackend> MakePlasmaWallpaper() {
  return std::make_unique<PlasmaWallpaper>();
}
