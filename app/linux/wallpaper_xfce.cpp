#include <sstream>

#include "app/desktop.h"
#include "app/linux/wallpaper_backend.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"

namespace {

constexpr char kChannel[] = "xfce4-desktop";
constexpr char kImageSuffix[] = "/last-image";
// xfdesktop's image styles.
constexpr char kStyleNone[] = "0";
constexpr char kStyleStretched[] = "3";

// xfdesktop keeps one picture per monitor and workspace under names made
// from the monitor's connector or model, which differ from one machine to
// the next: every such property gets the picture.
std::vector<std::string> ImageProperties() {
  std::istringstream lines(Orvex::RunCommandChecked({"xfconf-query", "-c", kChannel, "-l"}));
  std::vector<std::string> properties;
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > sizeof(kImageSuffix) - 1 &&
        line.compare(line.size() - (sizeof(kImageSuffix) - 1), std::string::npos, kImageSuffix) ==
            0) {
      properties.push_back(line);
    }
  }
  if (properties.empty()) {
    throw Orvex::RuntimeException(
        u"壁紙を設定できません : xfce4-desktop に画面ごとの壁紙の設定がありません");
  }
  return properties;
}

// Where xfdesktop keeps the picture of a monitor it has not shown yet on
// this screen's first workspace.
std::string NewImageProperty(const std::string& monitor) {
  return "/backdrop/screen0/monitor" + monitor + "/workspace0" + kImageSuffix;
}

std::string StyleProperty(const std::string& image_property) {
  return image_property.substr(0, image_property.size() - (sizeof(kImageSuffix) - 1)) +
         "/image-style";
}

void SetStyle(const std::string& image_property, const char* style) {
  Orvex::RunCommandChecked({"xfconf-query", "-c", kChannel, "-p", StyleProperty(image_property),
                            "-n", "-t", "int", "-s", style});
}

class XfceWallpaper : public WallpaperBackend {
 public:
  void Show(const std::string& file, const Orvex::CPlane32*) override {
    for (const std::string& property : ImageProperties()) {
      SetStyle(property, kStyleStretched);
      Orvex::RunCommandChecked(
          {"xfconf-query", "-c", kChannel, "-p", property, "-n", "-t", "string", "-s", file});
    }
  }
  bool WantsMonitorFiles() const override { return true; }
  // Each monitor's properties (one per workspace) get its own file; a
  // monitor xfdesktop has none for yet gets them on the first workspace.
  void ShowComposed(const std::string& file, const ComposedWallpaper& wallpaper) override {
    const std::vector<std::string> properties = ImageProperties();
    std::vector<std::pair<std::string, std::string>> settings;
    for (const MonitorWallpaper& monitor : wallpaper.monitors) {
      const std::string name = Orvex::GetDefaultEncoding().ToMultiByte(monitor.monitor.name);
      if (monitor.path.IsEmpty() || name.empty() || name.find('/') != std::string::npos) continue;
      const std::string own = Orvex::Detail::ToSystemPath(monitor.path);
      const std::string part = "/monitor" + name + "/";
      bool found = false;
      for (const std::string& property : properties) {
        if (property.find(part) == std::string::npos) continue;
        settings.emplace_back(property, own);
        found = true;
      }
      if (!found) settings.emplace_back(NewImageProperty(name), own);
    }
    if (settings.empty()) {
      Show(file, wallpaper.pixels);
      return;
    }
    for (const auto& [property, own] : settings) {
      SetStyle(property, kStyleStretched);
      Orvex::RunCommandChecked(
          {"xfconf-query", "-c", kChannel, "-p", property, "-n", "-t", "string", "-s", own});
    }
  }
  void Remove() override {
    for (const std::string& property : ImageProperties()) SetStyle(property, kStyleNone);
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeXfceWallpaper() { return std::make_unique<XfceWallpaper>(); }
