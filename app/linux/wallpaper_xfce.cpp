#include <sstream>

#include "app/linux/wallpaper_backend.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"

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
  void Remove() override {
    for (const std::string& property : ImageProperties()) SetStyle(property, kStyleNone);
  }
};

}  // namespace

std::unique_ptr<WallpaperBackend> MakeXfceWallpaper() { return std::make_unique<XfceWallpaper>(); }
