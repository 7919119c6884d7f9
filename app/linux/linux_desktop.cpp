#include "app/linux/linux_desktop.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/linux/alternating_file.h"
#include "app/linux/wallpaper_backend.h"
#include "app/linux/x11_desktop.h"
#include "foundation/encoding.h"
#include "foundation/error_reporting.h"
#include "foundation/posix/system_path.h"

using Orvex::SharedString;

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool IsSet(const EnvironmentLookup& environment, const char* name) {
  const char* value = environment(name);
  return value && *value;
}

// The backend for one name of XDG_CURRENT_DESKTOP; empty for one without.
std::string BackendForDesktopName(const std::string& name) {
  const std::string lower = Lower(name);
  if (lower == "gnome" || lower == "unity" || lower == "budgie" || lower == "gnome-classic" ||
      lower == "gnome-flashback") {
    return "gnome";
  }
  if (lower == "kde") return "kde";
  if (lower == "xfce") return "xfce";
  if (lower == "x-cinnamon" || lower == "cinnamon") return "cinnamon";
  if (lower == "mate") return "mate";
  if (lower == "lxqt") return "lxqt";
  if (lower == "sway") return "sway";
  if (lower == "hyprland") return "hyprland";
  return {};
}

SharedString Widen(const std::string& text) { return Orvex::GetDefaultEncoding().ToWide(text); }

}  // namespace

std::string DetectWallpaperBackend(const EnvironmentLookup& environment) {
  if (const char* desktops = environment("XDG_CURRENT_DESKTOP")) {
    const std::string list = desktops;
    size_t start = 0;
    for (;;) {
      const size_t end = list.find(':', start);
      const std::string backend = BackendForDesktopName(
          list.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (!backend.empty()) return backend;
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  if (IsSet(environment, "SWAYSOCK")) return "sway";
  if (IsSet(environment, "HYPRLAND_INSTANCE_SIGNATURE")) return "hyprland";
  if (IsSet(environment, "WAYLAND_DISPLAY")) return "wlroots";
  if (IsSet(environment, "DISPLAY")) return "x11";
  return {};
}

// QProcess::splitCommand would do for the plain cases, but it knows only
// double quotes (a quote inside written as three), takes no single quotes
// or backslashes, and lets an open quote run to the end: commands copied
// from a shell would change their meaning, and a typing error would run
// something else than the user wrote.
std::vector<std::string> SplitShellWords(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  char quote = 0;
  for (size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quote == '\'') {
      if (c == '\'') {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\\' && i + 1 < command.size() &&
               (quote == 0 || command[i + 1] == '"' || command[i + 1] == '\\')) {
      word += command[++i];
      in_word = true;
    } else if (quote == '"') {
      if (c == '"') {
        quote = 0;
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      in_word = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (in_word) words.push_back(std::move(word));
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quote != 0) {
    throw Orvex::RuntimeException(u"壁紙のコマンドの引用符が閉じていません : " + Widen(command));
  }
  if (in_word) words.push_back(std::move(word));
  return words;
}

LinuxDesktop::LinuxDesktop(const SharedString& backend_setting)
    : LinuxDesktop(backend_setting, [](const char* name) { return std::getenv(name); }) {}

LinuxDesktop::LinuxDesktop(const SharedString& backend_setting,
                           const EnvironmentLookup& environment) {
  const std::string setting = Orvex::GetDefaultEncoding().ToMultiByte(backend_setting.Trim());
  if (setting.find("%f") != std::string::npos) {
    backend_name_ = "command";
    std::vector<std::string> argv = SplitShellWords(setting);
    backend_ = MakeCommandWallpaper(std::move(argv));
    return;
  }
  backend_name_ = setting.empty() ? DetectWallpaperBackend(environment) : Lower(setting);
  if (backend_name_.empty()) {
    throw DesktopUnavailableException(
        SharedString(u"壁紙を設定できるデスクトップが見つかりません : "
                     u"XDG_CURRENT_DESKTOP, WAYLAND_DISPLAY, DISPLAY が設定されていません"));
  }
  backend_ = MakeWallpaperBackend(backend_name_);
  if (!backend_) {
    throw DesktopUnavailableException(u"壁紙の設定方法 '" + Widen(setting) + u"' は使えません : " +
                                      Widen(WallpaperBackendNameList()) +
                                      u" のどれか、または %f を含むコマンドを指定してください");
  }
}

LinuxDesktop::~LinuxDesktop() = default;

// IDesktop is not copyable; there is nothing of it to move.
LinuxDesktop::LinuxDesktop(LinuxDesktop&& other) noexcept
    : backend_name_(std::move(other.backend_name_)),
      backend_(std::move(other.backend_)),
      display_(std::move(other.display_)),
      display_tried_(other.display_tried_) {}

LinuxDesktop& LinuxDesktop::operator=(LinuxDesktop&& other) noexcept {
  backend_name_ = std::move(other.backend_name_);
  backend_ = std::move(other.backend_);
  display_ = std::move(other.display_);
  display_tried_ = other.display_tried_;
  return *this;
}

void LinuxDesktop::SetWallpaper(const SharedString& path, const Orvex::CPlane32* pixels) {
  BeforeUse();
  const std::string written = Orvex::Detail::ToSystemPath(path);
  if (!backend_->ReadsTheFile()) {
    backend_->Show(written, pixels);
    return;
  }
  const std::string shown = PublishUnderFreshName(written);
  try {
    backend_->Show(shown, pixels);
  } catch (...) {
    // The desktop did not take it: the name must not pass for the one on
    // show, or the next change would write over the one that is.
    ::unlink(shown.c_str());
    throw;
  }
}

void LinuxDesktop::SetComposedWallpaper(const ComposedWallpaper& wallpaper) {
  BeforeUse();
  const std::string written = Orvex::Detail::ToSystemPath(wallpaper.path);
  if (!backend_->ReadsTheFile()) {
    backend_->ShowComposed(written, wallpaper);
    return;
  }
  // Every file the desktop reads arrives under a name not on show, as in
  // SetWallpaper.
  std::vector<std::string> published;
  ComposedWallpaper shown = wallpaper;
  try {
    published.push_back(PublishUnderFreshName(written));
    for (MonitorWallpaper& monitor : shown.monitors) {
      if (monitor.path.IsEmpty()) continue;
      published.push_back(PublishUnderFreshName(Orvex::Detail::ToSystemPath(monitor.path)));
      monitor.path = Orvex::Detail::FromSystemPath(published.back());
    }
    shown.path = Orvex::Detail::FromSystemPath(published.front());
    backend_->ShowComposed(published.front(), shown);
  } catch (...) {
    for (const std::string& name : published) ::unlink(name.c_str());
    throw;
  }
}

bool LinuxDesktop::WantsMonitorFiles() const { return backend_->WantsMonitorFiles(); }

MonitorList LinuxDesktop::GetMonitors() {
  BeforeUse();
  if (std::optional<MonitorList> monitors = backend_->Monitors()) return *monitors;
  if (X11Desktop* display = Display()) return display->GetMonitors();
  return {};
}

void LinuxDesktop::RemoveWallpaper() {
  BeforeUse();
  backend_->Remove();
}

std::unique_ptr<Orvex::CPlane32> LinuxDesktop::OfferWallpaperPlane(const Orvex::PlaneSize& size) {
  BeforeUse();
  // Only a backend that takes the pixels, not the file, can use them as
  // they are.
  if (backend_->ReadsTheFile()) return nullptr;
  return backend_->OfferPlane(size);
}

X11Desktop* LinuxDesktop::Display() {
  if (!display_tried_) {
    display_tried_ = true;
    try {
      display_ = std::make_unique<X11Desktop>();
    } catch (const std::exception&) {
      // A Wayland session without an X server: the size comes from the
      // compositor or not at all.
    }
  }
  return display_.get();
}

std::optional<Orvex::PlaneSize> LinuxDesktop::GetScreenSize() {
  BeforeUse();
  if (std::optional<Orvex::PlaneSize> size = backend_->ScreenSize()) return size;
  if (X11Desktop* display = Display()) return display->GetScreenSize();
  return std::nullopt;
}

uint32_t LinuxDesktop::GetDesktopColor() { return backend_->BackgroundColor().value_or(0); }

void LinuxDesktop::ShowError(const SharedString& caption, const SharedString& text) {
  Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, caption, text);
}
