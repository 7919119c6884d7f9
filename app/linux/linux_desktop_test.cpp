#include "app/linux/linux_desktop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/desktop.h"
#include "app/linux/alternating_file.h"
#include "app/linux/kscreen_monitors.h"
#include "app/linux/mutter_monitors.h"
#include "app/linux/resident_desktop.h"
#include "app/linux/wallpaper_backend.h"
#include "app/linux/wallpaper_hyprland.h"
#include "app/linux/wallpaper_plasma.h"
#include "app/linux/wallpaper_quoting.h"
#include "app/linux/wallpaper_sway.h"
#include "app/linux/x11_desktop.h"
#include "foundation/encoding.h"
#include "foundation/error_reporting.h"
#include "foundation/exceptions.h"
#include "foundation/posix/run_command.h"
#include "foundation/posix/system_path.h"
#include "foundation/recording_notifier.h"
#include "foundation/test_folder.h"

namespace {

using Orvex::SharedString;
using Orvex::Testing::TestFolder;

std::string Narrow(const SharedString& text) { return Orvex::Detail::ToSystemPath(text); }

TEST(WallpaperDetectionTest, TheSessionChoosesTheBackend) {
  struct Case {
    std::map<std::string, std::string> environment;
    std::string backend;
  };
  const std::vector<Case> cases = {
      {{{"XDG_CURRENT_DESKTOP", "GNOME"}, {"WAYLAND_DISPLAY", "wayland-0"}}, "gnome"},
      {{{"XDG_CURRENT_DESKTOP", "ubuntu:GNOME"}}, "gnome"},
      {{{"XDG_CURRENT_DESKTOP", "Unity"}}, "gnome"},
      {{{"XDG_CURRENT_DESKTOP", "Budgie:GNOME"}}, "gnome"},
      {{{"XDG_CURRENT_DESKTOP", "kde"}, {"DISPLAY", ":0"}}, "kde"},
      {{{"XDG_CURRENT_DESKTOP", "XFCE"}}, "xfce"},
      {{{"XDG_CURRENT_DESKTOP", "X-Cinnamon"}}, "cinnamon"},
      {{{"XDG_CURRENT_DESKTOP", "MATE"}}, "mate"},
      {{{"XDG_CURRENT_DESKTOP", "LXQt"}}, "lxqt"},
      {{{"XDG_CURRENT_DESKTOP", "sway"}}, "sway"},
      {{{"XDG_CURRENT_DESKTOP", "Hyprland"}}, "hyprland"},
      // A name without a backend falls through to the next one, then to
      // what the session's sockets and displays say.
      {{{"XDG_CURRENT_DESKTOP", "Custom:XFCE"}}, "xfce"},
      {{{"XDG_CURRENT_DESKTOP", "river"}, {"WAYLAND_DISPLAY", "wayland-1"}}, "wlroots"},
      {{{"SWAYSOCK", "/run/user/1/sway.sock"}, {"WAYLAND_DISPLAY", "wayland-1"}}, "sway"},
      {{{"HYPRLAND_INSTANCE_SIGNATURE", "abc"}, {"WAYLAND_DISPLAY", "wayland-1"}}, "hyprland"},
      {{{"WAYLAND_DISPLAY", "wayland-1"}, {"DISPLAY", ":1"}}, "wlroots"},
      {{{"DISPLAY", ":1"}}, "x11"},
      {{{"XDG_CURRENT_DESKTOP", ""}, {"WAYLAND_DISPLAY", ""}, {"DISPLAY", ""}}, ""},
      {{}, ""},
  };
  for (const Case& c : cases) {
    const std::string found = DetectWallpaperBackend([&](const char* name) -> const char* {
      const auto it = c.environment.find(name);
      return it == c.environment.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(found, c.backend) << testing::PrintToString(c.environment);
  }

  const auto nothing = [](const char*) -> const char* { return nullptr; };
  EXPECT_THROW(LinuxDesktop(u"", nothing), DesktopUnavailableException);
  EXPECT_THROW(LinuxDesktop(u"enlightenment", nothing), DesktopUnavailableException);
  EXPECT_EQ(LinuxDesktop(u" MATE ", nothing).BackendName(), "mate");
}

TEST(WallpaperDetectionTest, ACommandIsSplitLikeShellWordsWithoutExpansion) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(SplitShellWords("  feh --bg-fill   %f "), (Words{"feh", "--bg-fill", "%f"}));
  EXPECT_EQ(SplitShellWords("'my setter' \"a \\\"b\\\"\" it\\'s '' $HOME"),
            (Words{"my setter", "a \"b\"", "it's", "", "$HOME"}));
  EXPECT_EQ(SplitShellWords("x --file=\"%f\""), (Words{"x", "--file=%f"}));
  EXPECT_THROW(SplitShellWords("x 'open"), Orvex::RuntimeException);
}

// Runs with a folder of fake programs first on PATH and a private settings
// store; each fake records its name and arguments, NUL-separated, and
// answers "ok".
class WallpaperBackendTest : public testing::Test {
 protected:
  void SetUp() override {
    Keep("PATH");
    Keep("GSETTINGS_BACKEND");
    Keep("XDG_CONFIG_HOME");
    Keep("PELMORA_RECORD");
    record_ = Narrow(folder_ / u"record");
    recorder_ = Narrow(folder_ / u"bin/record");
    TestFolder::WriteBytes(folder_ / u"bin/record",
                           "#!/bin/sh\n"
                           "printf '%s\\0' \"${0##*/}\" \"$@\" >>\"$PELMORA_RECORD\"\n"
                           "echo ok\n");
    ::chmod(recorder_.c_str(), 0755);
    ::setenv("PATH", (Narrow(folder_ / u"bin") + ":" + std::getenv("PATH")).c_str(), 1);
    ::setenv("PELMORA_RECORD", record_.c_str(), 1);
    ::setenv("GSETTINGS_BACKEND", "keyfile", 1);
    ::setenv("XDG_CONFIG_HOME", Narrow(folder_ / u"config").c_str(), 1);
  }
  void TearDown() override {
    for (const auto& [name, value] : kept_) {
      if (value) {
        ::setenv(name.c_str(), value->c_str(), 1);
      } else {
        ::unsetenv(name.c_str());
      }
    }
  }

  void Keep(const char* name) {
    const char* value = std::getenv(name);
    kept_[name] = value ? std::optional<std::string>(value) : std::nullopt;
  }
  void Fake(const char* program) {
    const std::string link = Narrow(folder_ / u"bin") + "/" + program;
    ASSERT_EQ(::symlink(recorder_.c_str(), link.c_str()), 0);
  }

  // The arguments of each recorded call, the program's name first.
  std::vector<std::vector<std::string>> Calls() {
    std::vector<std::vector<std::string>> calls;
    const std::string bytes = TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(record_));
    std::vector<std::string> words;
    for (size_t start = 0; start < bytes.size();) {
      const size_t end = bytes.find('\0', start);
      words.push_back(bytes.substr(start, end - start));
      start = end + 1;
    }
    // Each call starts with a fake's name.
    for (const std::string& word : words) {
      if (word == "record" || word == "qdbus6" || word == "pcmanfm-qt" || word == "hyprctl") {
        calls.emplace_back();
      }
      if (!calls.empty()) calls.back().push_back(word);
    }
    return calls;
  }

  std::string Get(const char* schema, const char* key) {
    std::string value = Orvex::RunCommandChecked({"gsettings", "get", schema, key});
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
  }

  // A file name with blanks, quotes and non-ASCII in it, written as the
  // program writes it: a new file put in the old one's place.
  SharedString Written(const char* contents) {
    const SharedString path = folder_ / u"my \"walls\" it's/壁紙 a.bmp";
    TestFolder::WriteBytes(folder_ / u"staged", contents);
    std::filesystem::create_directories(Orvex::Testing::FsPath(path).parent_path());
    std::filesystem::rename(Orvex::Testing::FsPath(folder_ / u"staged"),
                            Orvex::Testing::FsPath(path));
    return path;
  }

  TestFolder folder_;
  std::string record_;
  std::string recorder_;
  std::map<std::string, std::optional<std::string>> kept_;
};

TEST_F(WallpaperBackendTest, ACommandGetsTheFileAsOneArgumentUnderAlternatingNames) {
  LinuxDesktop desktop(u"'" + Orvex::Detail::FromSystemPath(recorder_) +
                       u"' --file=%f \"two words\"");
  ASSERT_EQ(desktop.BackendName(), "command");

  const SharedString written = Written("first");
  const auto [first, second] = AlternateNames(Narrow(written));
  desktop.SetWallpaper(written, nullptr);
  Written("second");
  desktop.SetWallpaper(written, nullptr);
  // The picture on show is never the one written over.
  EXPECT_EQ(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(first)), "first");
  EXPECT_EQ(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(second)), "second");
  Written("third");
  desktop.SetWallpaper(written, nullptr);
  EXPECT_EQ(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(first)), "third");
  EXPECT_EQ(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(second)), "second");

  using Call = std::vector<std::string>;
  EXPECT_EQ(Calls(), (std::vector<Call>{{"record", "--file=" + first, "two words"},
                                        {"record", "--file=" + second, "two words"},
                                        {"record", "--file=" + first, "two words"}}));

  // A command that fails is an error, and the name it was given does not
  // pass for the one on show: the next change uses it again.
  LinuxDesktop failing(u"false %f");
  Written("fourth");
  EXPECT_THROW(failing.SetWallpaper(written, nullptr), Orvex::RuntimeException);
  desktop.SetWallpaper(written, nullptr);
  EXPECT_EQ(Calls().back(), (Call{"record", "--file=" + second, "two words"}));
  EXPECT_EQ(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(first)), "third");
}

TEST_F(WallpaperBackendTest, GnomeCinnamonAndMateKeysNameTheFile) {
  const SharedString written = Written("picture");
  const auto [first, second] = AlternateNames(Narrow(written));
  const std::string uri = "'" + FileUri(first) + "'";

  LinuxDesktop gnome(u"gnome");
  gnome.SetWallpaper(written, nullptr);
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-uri"), uri);
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-uri-dark"), uri);
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-options"), "'stretched'");
  EXPECT_EQ(gnome.GetDesktopColor(), 0x883C02u);  // the schema's '#023c88'
  Orvex::RunCommandChecked(
      {"gsettings", "set", "org.gnome.desktop.background", "primary-color", "'#ff8000'"});
  EXPECT_EQ(gnome.GetDesktopColor(), 0x0080FFu);
  gnome.RemoveWallpaper();
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-options"), "'none'");

  LinuxDesktop cinnamon(u"cinnamon");
  cinnamon.SetWallpaper(written, nullptr);
  EXPECT_EQ(Get("org.cinnamon.desktop.background", "picture-uri"), "'" + FileUri(second) + "'");
  EXPECT_EQ(Get("org.cinnamon.desktop.background", "picture-options"), "'stretched'");
  cinnamon.RemoveWallpaper();
  EXPECT_EQ(Get("org.cinnamon.desktop.background", "picture-options"), "'none'");

  LinuxDesktop mate(u"mate");
  mate.SetWallpaper(written, nullptr);
  // gsettings prints a string holding a ' in double quotes.
  std::string printed = "\"";
  for (const char c : first) printed += c == '"' ? std::string("\\\"") : std::string(1, c);
  EXPECT_EQ(Get("org.mate.background", "picture-filename"), printed + "\"");
  EXPECT_EQ(Get("org.mate.background", "picture-options"), "'stretched'");
  Orvex::RunCommandChecked(
      {"gsettings", "set", "org.mate.background", "primary-color", "'#ffff00000000'"});
  EXPECT_EQ(mate.GetDesktopColor(), 0x0000FFu);
  mate.RemoveWallpaper();
  EXPECT_EQ(Get("org.mate.background", "picture-filename"), "''");

  EXPECT_EQ(FileUri("/a b/\"x\"'%/壁.bmp"), "file:///a%20b/%22x%22%27%25/%E5%A3%81.bmp");
}

TEST_F(WallpaperBackendTest, PlasmaLxqtAndHyprlandGetTheirCommands) {
  Fake("qdbus6");
  Fake("pcmanfm-qt");
  Fake("hyprctl");
  const SharedString written = Written("picture");
  const auto [first, second] = AlternateNames(Narrow(written));
  LinuxDesktop(u"kde").SetWallpaper(written, nullptr);
  LinuxDesktop(u"lxqt").SetWallpaper(written, nullptr);
  LinuxDesktop(u"hyprland").SetWallpaper(written, nullptr);
  LinuxDesktop(u"hyprland").RemoveWallpaper();

  using Call = std::vector<std::string>;
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0], (Call{"qdbus6", "org.kde.plasmashell", "/PlasmaShell",
                            "org.kde.PlasmaShell.evaluateScript", PlasmaShowScript(first)}));
  EXPECT_EQ(calls[1],
            (Call{"pcmanfm-qt", "--set-wallpaper", second, "--wallpaper-mode", "stretch"}));
  EXPECT_EQ(calls[2], (Call{"hyprctl", "hyprpaper", "preload", first}));
  EXPECT_EQ(calls[3], (Call{"hyprctl", "hyprpaper", "wallpaper", "," + first}));
  EXPECT_EQ(calls[4], (Call{"hyprctl", "hyprpaper", "unload", "unused"}));
  EXPECT_EQ(calls[5], (Call{"hyprctl", "hyprpaper", "unload", "all"}));

  // Every desktop gets the image plugin and the file; the file's quotes
  // cannot end the script's string.
  const std::string script = PlasmaShowScript("/p/it's \"x\"\\.bmp");
  EXPECT_NE(script.find("var all = desktops();"), std::string::npos) << script;
  EXPECT_NE(script.find("d.wallpaperPlugin = \"org.kde.image\";"), std::string::npos) << script;
  EXPECT_NE(script.find("d.writeConfig(\"Image\", \"file:///p/it%27s%20%22x%22%5C.bmp\");"),
            std::string::npos)
      << script;
  EXPECT_NE(PlasmaRemoveScript().find("\"org.kde.color\""), std::string::npos);
  EXPECT_EQ(ScriptString("a\"b\\c\n"), "\"a\\\"b\\\\c\\x0A\"");
  // gdbus reads GVariant text: the script survives as one string.
  EXPECT_EQ(PlasmaScriptCommand("gdbus", "x('y')").back(), "'x(\\'y\\')'");
  EXPECT_EQ(PlasmaScriptCommand("dbus-send", "s").back(), "string:s");
}

// Two monitors as hyprctl lists them; the second has the focus unless told.
std::string HyprlandMonitors(int second_transform, bool second_focused) {
  const auto monitor = [](int id, const char* description, int width, int height, int transform,
                          bool focused) {
    return "{\n    \"id\": " + std::to_string(id) + ",\n    \"name\": \"DP-" + std::to_string(id) +
           "\",\n    \"description\": \"" + description +
           "\",\n    \"width\": " + std::to_string(width) +
           ",\n    \"height\": " + std::to_string(height) +
           ",\n    \"refreshRate\": 59.95100,\n    \"x\": 0,\n    \"y\": 0,\n"
           "    \"activeWorkspace\": {\n        \"id\": 1,\n        \"name\": \"1\"\n    },\n"
           "    \"reserved\": [0, 30, 0, 0],\n    \"scale\": 1.50,\n    \"transform\": " +
           std::to_string(transform) + ",\n    \"focused\": " + (focused ? "true" : "false") +
           ",\n    \"availableModes\": [\"3840x2160@60.00Hz\",\"800x600@60.00Hz\"]\n}";
  };
  return "[" + monitor(0, R"(LG \"width\": 7, \\)", 3840, 2160, 0, !second_focused) + "," +
         monitor(1, "Dell", 2560, 1440, second_transform, second_focused) + "]";
}

TEST_F(WallpaperBackendTest, HyprlandScreenSizeIsTheFocusedMonitorsModeAsItIsTurned) {
  using Orvex::PlaneSize;
  TestFolder::WriteBytes(folder_ / u"monitors.json", HyprlandMonitors(0, true));
  const std::string fake = Narrow(folder_ / u"bin/hyprctl");
  TestFolder::WriteBytes(Orvex::Detail::FromSystemPath(fake),
                         "#!/bin/sh\n[ \"$*\" = '-j monitors' ] && exec cat '" +
                             Narrow(folder_ / u"monitors.json") + "'\nexit 1\n");
  ::chmod(fake.c_str(), 0755);
  EXPECT_EQ(LinuxDesktop(u"hyprland").GetScreenSize(), (PlaneSize{2560, 1440}));

  // The scale does not change the mode's pixels; a string that looks like
  // a member does not count as one.
  EXPECT_EQ(HyprlandScreenSize(HyprlandMonitors(0, true)), (PlaneSize{2560, 1440}));
  EXPECT_EQ(HyprlandScreenSize(HyprlandMonitors(0, false)), (PlaneSize{3840, 2160}));
  // 90 and 270 degrees, flipped or not, swap the sides; 180 does not.
  for (const int transform : {1, 3, 5, 7}) {
    EXPECT_EQ(HyprlandScreenSize(HyprlandMonitors(transform, true)), (PlaneSize{1440, 2560}))
        << transform;
  }
  for (const int transform : {2, 4, 6}) {
    EXPECT_EQ(HyprlandScreenSize(HyprlandMonitors(transform, true)), (PlaneSize{2560, 1440}))
        << transform;
  }
  EXPECT_EQ(HyprlandScreenSize(R"([{"width": 0, "height": 1080, "focused": true},)"
                               R"( {"width": 1280, "height": 1024}])"),
            (PlaneSize{1280, 1024}));
  for (const char* nothing :
       {"", "[]", "ok", R"([{"width": 1920)", R"([{"width": "1920", "height": 1080}])",
        R"({"width": 1920, "height": 1080})"}) {
    EXPECT_EQ(HyprlandScreenSize(nothing), std::nullopt) << nothing;
  }
}

TEST(SwayOutputsTest, ScreenSizeIsTheLargestOutputsMode) {
  using Orvex::PlaneSize;
  // As swaymsg lists them: the whole layout's rectangle and the modes an
  // output could take are no output's current size; one that is off has none.
  EXPECT_EQ(SwayScreenSize(R"([
      {"name": "HEADLESS-1", "rect": {"x": 0, "y": 0, "width": 4000, "height": 3000},
       "modes": [{"width": 3840, "height": 2160}],
       "current_mode": {"width": 1280, "height": 1024, "refresh": 60000}},
      {"name": "HEADLESS-2", "active": false, "modes": [{"width": 5120, "height": 2880}]},
      {"name": "HEADLESS-3", "current_mode": {"width": 1920, "height": 1080}},
      {"name": "\"current_mode\": {\"width\": 9000, \"height\": 9000}"}])"),
            (PlaneSize{1920, 1080}));
  for (const char* nothing : {"", "[]", "Error: no such output",
                              R"([{"current_mode": {"width": "1920", "height": 1080}}])"}) {
    EXPECT_EQ(SwayScreenSize(nothing), std::nullopt) << nothing;
  }
}

Monitor Named(const char16_t* name, Orvex::PlaneRect rect, bool primary) {
  Monitor monitor;
  monitor.name = name;
  monitor.rect = rect;
  monitor.primary = primary;
  return monitor;
}

void ExpectMonitors(const MonitorList& got, const MonitorList& expected) {
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].name, expected[i].name);
    EXPECT_EQ(got[i].rect, expected[i].rect);
    EXPECT_EQ(got[i].primary, expected[i].primary);
  }
}

TEST(CompositorMonitorsTest, OutputsAreKeyedByNameInPixelsOfTheSharpestScale) {
  // sway: logical rectangles; an output at scale 2 makes every rectangle
  // twice as large, so the outputs still touch and the sharp one gets its
  // own pixels. An output that is off is no monitor; the focused one is
  // the primary.
  ExpectMonitors(
      SwayMonitors(R"([
      {"name": "DP-1", "active": true, "focused": false, "scale": 2.0,
       "rect": {"x": 0, "y": 0, "width": 1920, "height": 1080}},
      {"name": "HDMI-A-1", "active": true, "focused": true, "scale": 1.0,
       "rect": {"x": 1920, "y": 0, "width": 1080, "height": 1920}},
      {"name": "DP-2", "active": false, "rect": {"x": 0, "y": 0, "width": 0, "height": 0}}])"),
      {Named(u"DP-1", {0, 0, 3840, 2160}, false), Named(u"HDMI-A-1", {3840, 0, 6000, 3840}, true)});
  // Nothing focused: the first stands for the primary.
  ExpectMonitors(SwayMonitors(R"([
      {"name": "HEADLESS-1", "active": true, "rect": {"x": 0, "y": 0, "width": 640, "height": 480}},
      {"name": "HEADLESS-2", "active": true, "rect": {"x": 640, "y": 0, "width": 300, "height": 500}}])"),
                 {Named(u"HEADLESS-1", {0, 0, 640, 480}, true),
                  Named(u"HEADLESS-2", {640, 0, 940, 500}, false)});
  for (const char* nothing : {"", "[]", "Error", R"([{"name": "X", "active": true}])"}) {
    EXPECT_TRUE(SwayMonitors(nothing).empty()) << nothing;
  }

  // Hyprland: mode pixels at logical positions, turned by odd transforms.
  // Both of these are at scale 1.5: the grid is the modes' own.
  const std::string listed = HyprlandMonitors(1, true);
  std::string placed = listed;
  const size_t second = placed.find("\"x\": 0", placed.find("DP-1"));
  placed.replace(second, 6, "\"x\": 2560");
  ExpectMonitors(::HyprlandMonitors(placed), {Named(u"DP-0", {0, 0, 3840, 2160}, false),
                                              Named(u"DP-1", {3840, 0, 5280, 2560}, true)});
}

TEST_F(WallpaperBackendTest, CompositorsSetEachOutputItsOwnFileByName) {
  Fake("hyprctl");
  Fake("swaymsg");
  const SharedString left = folder_ / u"walls/w-DP-1.bmp";
  const SharedString right = folder_ / u"walls/w-HDMI-A-1.bmp";
  ComposedWallpaper wallpaper;
  wallpaper.path = Written("composed");
  wallpaper.box = {0, 0, 3000, 1920};
  for (const auto& [path, name] : {std::pair{left, u"DP-1"}, {right, u"HDMI-A-1"}}) {
    TestFolder::WriteBytes(path, "monitor");
    wallpaper.monitors.push_back({Named(name, {0, 0, 1, 1}, false), path});
  }
  // A monitor left without a picture keeps what it shows.
  wallpaper.monitors.push_back({Named(u"DP-2", {0, 0, 1, 1}, false), SharedString()});

  LinuxDesktop hyprland(u"hyprland");
  ASSERT_TRUE(hyprland.WantsMonitorFiles());
  hyprland.SetComposedWallpaper(wallpaper);
  const std::string shown_left = AlternateNames(Narrow(left)).first;
  const std::string shown_right = AlternateNames(Narrow(right)).first;
  using Call = std::vector<std::string>;
  EXPECT_EQ(Calls(),
            (std::vector<Call>{{"hyprctl", "hyprpaper", "preload", shown_left},
                               {"hyprctl", "hyprpaper", "preload", shown_right},
                               {"hyprctl", "hyprpaper", "wallpaper", "DP-1," + shown_left},
                               {"hyprctl", "hyprpaper", "wallpaper", "HDMI-A-1," + shown_right},
                               {"hyprctl", "hyprpaper", "unload", "unused"}}));

  // sway: one message for all outputs, under the other names now.
  std::filesystem::remove(Orvex::Testing::FsPath(Orvex::Detail::FromSystemPath(record_)));
  LinuxDesktop(u"sway").SetComposedWallpaper(wallpaper);
  const std::string bytes = TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(record_));
  using namespace std::string_literals;
  const size_t first_output = bytes.find("output\0\"DP-1\"\0bg\0"s);
  const size_t second_output = bytes.find("fill\0,\0output\0\"HDMI-A-1\"\0bg\0"s);
  EXPECT_NE(first_output, std::string::npos) << bytes;
  EXPECT_NE(second_output, std::string::npos) << bytes;
  EXPECT_LT(first_output, second_output);
  EXPECT_EQ(bytes.find("DP-2"), std::string::npos) << bytes;
}

// The state letter of a process in /proc, or 0 when there is none.
char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) return 0;
  return line[line.rfind(')') + 2];
}

bool BecomesZombie(pid_t pid) {
  for (int i = 0; i < 500 && ProcessState(pid) != 'Z'; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return ProcessState(pid) == 'Z';
}

TEST_F(WallpaperBackendTest, ASwaybgEndedByAnotherProcessOfOursIsReaped) {
  Keep("XDG_RUNTIME_DIR");
  std::filesystem::create_directories(Orvex::Testing::FsPath(folder_ / u"run"));
  ::setenv("XDG_RUNTIME_DIR", Narrow(folder_ / u"run").c_str(), 1);
  const std::string fake = Narrow(folder_ / u"bin/swaybg");
  TestFolder::WriteBytes(Orvex::Detail::FromSystemPath(fake),
                         "#!/bin/sh\ntrap 'kill $!; exit 0' TERM\nsleep 30 & wait\n");
  ::chmod(fake.c_str(), 0755);

  LinuxDesktop(u"wlroots").SetWallpaper(Written("picture"), nullptr);
  const pid_t swaybg = std::stoi(TestFolder::ReadBytes(folder_ / u"run/pelmora/swaybg.pid"));
  // Another process replacing it can end it but not reap it.
  ASSERT_EQ(::kill(swaybg, SIGTERM), 0);
  ASSERT_TRUE(BecomesZombie(swaybg));
  // A child of some other part of the program must keep its exit status.
  const pid_t other = ::fork();
  if (other == 0) ::_exit(7);
  ASSERT_TRUE(BecomesZombie(other));

  ReapEndedSwaybg();
  EXPECT_EQ(ProcessState(swaybg), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(other, &status, 0), other);
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

// The error the start shows for a backend setting.
SharedString StartError(const SharedString& setting) {
  try {
    LinuxDesktop desktop(setting);
  } catch (const std::exception& error) {
    return Orvex::GetDefaultEncoding().ToWide(error.what());
  }
  return u"(none)";
}

TEST_F(WallpaperBackendTest, TheResidentDesktopFollowsTheBackendSettingAtEachChange) {
  Orvex::Test::RecordingNotifier notifier;
  const SharedString command = u"'" + Orvex::Detail::FromSystemPath(recorder_) + u"' ";
  SharedString setting = command + u"first %f";
  ResidentDesktop desktop(std::make_unique<LinuxDesktop>(setting), setting,
                          [&] { return setting; });
  const SharedString written = Written("picture");
  const auto [first, second] = AlternateNames(Narrow(written));
  desktop.SetWallpaper(written, nullptr);
  setting = command + u"second %f";
  desktop.SetWallpaper(written, nullptr);
  EXPECT_TRUE(notifier.texts.empty());

  // A setting that names nothing usable is told as the start tells it, once
  // for as long as it stays; the backend in use goes on.
  setting = u"enlightenment";
  desktop.SetWallpaper(written, nullptr);
  desktop.SetWallpaper(written, nullptr);
  setting = u"x 'open %f";
  desktop.SetWallpaper(written, nullptr);
  setting = command + u"second %f";
  desktop.SetWallpaper(written, nullptr);
  setting = u"enlightenment";
  desktop.SetWallpaper(written, nullptr);
  EXPECT_EQ(desktop.BackendName(), "command");
  EXPECT_EQ(notifier.texts,
            (std::vector<SharedString>{StartError(u"enlightenment"), StartError(u"x 'open %f"),
                                       StartError(u"enlightenment")}));
  EXPECT_EQ(notifier.captions, std::vector<SharedString>(3, u"エラー"));
  EXPECT_EQ(
      StartError(u"enlightenment"),
      u"壁紙の設定方法 'enlightenment' は使えません : gnome, kde, xfce, cinnamon, mate, "
      u"lxqt, sway, hyprland, wlroots, x11 のどれか、または %f を含むコマンドを指定してください");

  using Call = std::vector<std::string>;
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(calls.size(), 7u);
  EXPECT_EQ(calls[0], (Call{"record", "first", first}));
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i].at(1), "second") << i;
}

std::vector<std::tuple<int, int, int, int, bool, std::string>> Described(
    const std::optional<MonitorList>& monitors) {
  std::vector<std::tuple<int, int, int, int, bool, std::string>> described;
  for (const Monitor& monitor : monitors.value_or(MonitorList{})) {
    described.emplace_back(monitor.rect.left, monitor.rect.top, monitor.rect.right,
                           monitor.rect.bottom, monitor.primary, Narrow(monitor.name));
  }
  return described;
}

// GNOME Shell 43's reply with a landscape and a portrait monitor, as gdbus
// prints it; `layout` and the second monitor's scale and transform vary.
std::string MutterState(const std::string& layout, const std::string& scale,
                        const std::string& transform) {
  return "(uint32 2, [(('Meta-0', 'MetaVendor', 'MetaVirtualMonitor', '0x00'), "
         "[('640x480@60.000', 640, 480, 60.0, 1.0, [1.0], "
         "{'is-current': <true>, 'is-preferred': <true>})], "
         "{'is-builtin': <false>, 'display-name': <'MetaVendor'>}), "
         "(('Meta-1', 'MetaVendor', 'MetaVirtualMonitor', '0x01'), "
         "[('1280x960@60.000', 1280, 960, 60.0, 1.0, [1.0, 2.0], {'is-preferred': <true>}), "
         "('960x1280@60.000', 960, 1280, 60.0, 1.0, [1.0, 2.0], {'is-current': <true>})], "
         "{'is-builtin': <false>, 'display-name': <'Dell \\'U\\' \\u00e9'>})], "
         "[(0, 0, 1.0, uint32 0, true, [('Meta-0', 'MetaVendor', 'MetaVirtualMonitor', '0x00')], "
         "@a{sv} {}), "
         "(640, -40, " +
         scale + ", uint32 " + transform +
         ", false, [('Meta-1', 'MetaVendor', 'MetaVirtualMonitor', '0x01')], {})], "
         "{" +
         layout + "'legacy-ui-scaling-factor': <1>})\n";
}

TEST(MutterMonitorsTest, LogicalMonitorsTakeTheirCurrentModeTurnedAndScaledAsTheLayoutIs) {
  using Row = std::tuple<int, int, int, int, bool, std::string>;
  // Physical layout: the mode's pixels, whatever the scale.
  EXPECT_EQ(Described(MutterMonitors(MutterState("'layout-mode': <uint32 2>, ", "2.0", "0"))),
            (std::vector<Row>{{0, 0, 640, 480, true, "Meta-0"},
                              {640, -40, 1600, 1240, false, "Meta-1"}}));
  // Logical layout (and a reply that does not say): divided by the scale.
  for (const char* layout : {"'layout-mode': <uint32 1>, ", ""}) {
    EXPECT_EQ(Described(MutterMonitors(MutterState(layout, "2.0", "0"))),
              (std::vector<Row>{{0, 0, 640, 480, true, "Meta-0"},
                                {640, -40, 1120, 600, false, "Meta-1"}}))
        << layout;
  }
  // Turned by 90 or 270 degrees, flipped or not, the sides swap.
  for (const char* transform : {"1", "3", "5", "7"}) {
    EXPECT_EQ(Described(MutterMonitors(MutterState("", "1.0", transform)))[1],
              (Row{640, -40, 1920, 920, false, "Meta-1"}))
        << transform;
  }
  EXPECT_EQ(Described(MutterMonitors(MutterState("", "1.0", "2")))[1],
            (Row{640, -40, 1600, 1240, false, "Meta-1"}));
  // A warning gdbus printed first is passed over.
  EXPECT_EQ(Described(MutterMonitors("(gdbus:12): GLib-WARNING **: something\n" +
                                     MutterState("", "1.0", "0")))
                .size(),
            2u);
}

TEST(MutterMonitorsTest, NoMonitorsFromAnythingElse) {
  for (const std::string& nothing :
       {std::string(), std::string("Error: GDBus.Error:org.freedesktop.DBus.Error.ServiceUnknown"),
        std::string("(uint32 2, [], [], {})"), MutterState("", "1.0", "0").substr(0, 300),
        // A logical monitor whose connector has no current mode.
        std::string("(uint32 1, [(('A', 'v', 'p', 's'), [('m', 640, 480, 60.0, 1.0, [1.0], {})], "
                    "{})], [(0, 0, 1.0, 0, true, [('A', 'v', 'p', 's')], {})], {})")}) {
    EXPECT_EQ(MutterMonitors(nothing), std::nullopt) << nothing;
  }
}

TEST(KScreenMonitorsTest, EnabledOutputsTakeTheirModeTurnedAndScaled) {
  using Row = std::tuple<int, int, int, int, bool, std::string>;
  const auto output = [](const char* name, int x, int y, int rotation, const char* scale,
                         const char* extra) {
    return std::string("{\"connected\": true, \"currentModeId\": \"1\", \"enabled\": true, ") +
           "\"modes\": [{\"id\": \"0\", \"size\": {\"height\": 2160, \"width\": 3840}}, " +
           "{\"id\": \"1\", \"size\": {\"height\": 1080, \"width\": 1920}}], \"name\": \"" + name +
           "\", \"pos\": {\"x\": " + std::to_string(x) + ", \"y\": " + std::to_string(y) +
           "}, \"rotation\": " + std::to_string(rotation) + ", \"scale\": " + scale +
           ", \"size\": {\"height\": 1, \"width\": 1}" + extra + "}";
  };
  // As kscreen-doctor -j prints them, a warning before the document.
  const std::string json =
      "QStandardPaths: runtime directory '/run/user' is not owned by UID 0\n{\"outputs\": [" +
      output("DP-1", 0, 0, 1, "1", ", \"priority\": 2") + ", " +
      output("DP-2", 1920, -100, 2, "1.5", ", \"priority\": 1") + ", " +
      output("HDMI-1", 0, 0, 1, "1", ", \"enabled\": false, \"priority\": 3") + ", " +
      output("DP-3", -1080, 0, 8, "1", ", \"primary\": true, \"priority\": 3") + ", " +
      output("DP-4", 0, 1080, 4, "1", ", \"primary\": true") + "]}";
  EXPECT_EQ(Described(KScreenMonitors(json)),
            (std::vector<Row>{{0, 0, 1920, 1080, false, "DP-1"},
                              {1920, -100, 2640, 1180, true, "DP-2"},
                              {-1080, 0, 0, 1920, false, "DP-3"},
                              {0, 1080, 1920, 2160, true, "DP-4"}}));
  for (const char* nothing : {"", "kscreen-doctor: no backend", "{\"outputs\": []}",
                              "{\"outputs\": [{\"enabled\": true, \"name\": \"X\"}]}"}) {
    EXPECT_EQ(KScreenMonitors(nothing), std::nullopt) << nothing;
  }
}

TEST_F(WallpaperBackendTest, ComposedPicturesAreSpannedOrSetPerScreen) {
  const SharedString written = Written("picture");
  const auto [first, second] = AlternateNames(Narrow(written));
  ComposedWallpaper wallpaper;
  wallpaper.path = written;
  wallpaper.box = {0, 0, 1120, 640};

  // GNOME spans the box's picture over the monitors; a single picture is
  // stretched as it always was.
  LinuxDesktop gnome(u"gnome");
  EXPECT_FALSE(gnome.WantsMonitorFiles());
  gnome.SetComposedWallpaper(wallpaper);
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-uri"), "'" + FileUri(first) + "'");
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-options"), "'spanned'");
  gnome.SetWallpaper(written, nullptr);
  EXPECT_EQ(Get("org.gnome.desktop.background", "picture-options"), "'stretched'");
  // Cinnamon and MATE span too: a value their schemas refused would throw.
  LinuxDesktop(u"cinnamon").SetComposedWallpaper(wallpaper);
  EXPECT_EQ(Get("org.cinnamon.desktop.background", "picture-options"), "'spanned'");
  LinuxDesktop(u"mate").SetComposedWallpaper(wallpaper);
  EXPECT_EQ(Get("org.mate.background", "picture-options"), "'spanned'");

  // Plasma gives each desktop its screen's own file, matched by rectangle.
  Fake("qdbus6");
  LinuxDesktop plasma(u"kde");
  EXPECT_TRUE(plasma.WantsMonitorFiles());
  Written("composed");
  const SharedString left = folder_ / u"左 'a'.bmp";
  TestFolder::WriteBytes(left, "left");
  wallpaper.monitors = {{Monitor{{0, 0, 640, 480}, true, u"Virtual-0"}, left},
                        {Monitor{{640, 0, 1120, 640}, false, u"Virtual-1"}, SharedString()}};
  plasma.SetComposedWallpaper(wallpaper);
  const std::vector<std::vector<std::string>> calls = Calls();
  ASSERT_EQ(calls.size(), 1u);
  const std::string& script = calls[0].back();
  const std::string shown_left = AlternateNames(Narrow(left)).first;
  EXPECT_NE(script.find("[0, 0, 640, 480, " + ScriptString(FileUri(shown_left)) + "]"),
            std::string::npos)
      << script;
  // A monitor without a file of its own is not listed; its desktop, like
  // one on a screen none matches, gets the composed picture.
  EXPECT_EQ(script.find("640, 0, 480, 640"), std::string::npos) << script;
  const std::string shown_composed =
      TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(first)) == "composed" ? first : second;
  EXPECT_NE(script.find("image !== null ? image : " + ScriptString(FileUri(shown_composed))),
            std::string::npos)
      << script;
  EXPECT_EQ(TestFolder::ReadBytes(Orvex::Detail::FromSystemPath(shown_left)), "left");
}

TEST_F(WallpaperBackendTest, TheResidentDesktopsLastResortMonitorsComeOnlyWhenNothingElseKnows) {
  // A command knows no monitors, and there is no X server to ask.
  Keep("DISPLAY");
  ::unsetenv("DISPLAY");
  const SharedString setting = u"'" + Orvex::Detail::FromSystemPath(recorder_) + u"' %f";
  ResidentDesktop desktop(std::make_unique<LinuxDesktop>(setting), setting,
                          [&] { return setting; });
  EXPECT_TRUE(desktop.GetMonitors().empty());
  const MonitorList toolkit = {Named(u"eDP-1", {0, 0, 2880, 1800}, true)};
  desktop.SetLastResortMonitors([&] { return toolkit; });
  ExpectMonitors(desktop.GetMonitors(), toolkit);
}

}  // namespace
