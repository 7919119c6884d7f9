#include "app/linux/wallpaper_plasma.h"

#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_quoting.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

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
};

}  // namespace

std::string PlasmaShowScript(const std::string& file) {
  // FillMode 0 stretches; the picture is made for the screen already.
  return ForEveryDesktop("org.kde.image", "  d.writeConfig(\"Image\", " +
                                              ScriptString(FileUri(file)) +
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
