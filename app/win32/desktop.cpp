#include "app/win32/desktop.h"

#include <cstring>
#include <string>

#include "app/config_keys.h"
#include "foundation/display.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

using Orvex::SharedString;

namespace {

constexpr UINT kWallpaperUpdate = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE;

// Where the system keeps the wallpaper's style. The narrow registry calls:
// the names and values are ASCII, and they work on every Windows version.
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kTileValue[] = "TileWallpaper";
constexpr char kStyleValue[] = "WallpaperStyle";

void SetDesktopWallpaper(const SharedString& path) {
  BOOL done;
  if (Orvex::IsNtPlatform()) {
    // The wide call, so that a wallpaper file whose name the ANSI code page
    // cannot spell still works.
    done = SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(Orvex::Wide(path)),
                                 kWallpaperUpdate);
  } else {
    std::string narrow = Orvex::GetDefaultEncoding().ToMultiByte(path);
    done = SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, narrow.data(), kWallpaperUpdate);
  }
  if (!done) throw Orvex::Win32Exception(u"壁紙の設定に失敗");
}

[[noreturn]] void ThrowRegistryError(LONG result) {
  SetLastError(static_cast<DWORD>(result));
  throw Orvex::Win32Exception(u"壁紙の配置の設定に失敗");
}

std::optional<SharedString> ReadStyleValue(HKEY key, const char* name) {
  char text[64] = {};
  DWORD type = 0;
  DWORD size = sizeof text - 1;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  return SharedString(std::u16string(text, text + strnlen(text, sizeof text - 1)));
}

void WriteStyleValue(HKEY key, const char* name, const std::optional<SharedString>& value) {
  LONG result;
  if (value) {
    const std::string text = Orvex::GetDefaultEncoding().ToMultiByte(*value);
    result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
  } else {
    result = RegDeleteValueA(key, name);
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  }
  if (result != ERROR_SUCCESS) ThrowRegistryError(result);
}

// The settings file keeps a value the registry lacked as an empty text.
SharedString ToSetting(const std::optional<SharedString>& value) {
  return value ? *value : SharedString();
}

std::optional<SharedString> FromSetting(const SharedString& value) {
  if (value.IsEmpty()) return std::nullopt;
  return value;
}

bool KeepsUserStyle(const ConfigStore& store) {
  return store.Entries().count(SharedString(config_key::kSavedTileWallpaper)) != 0 ||
         store.Entries().count(SharedString(config_key::kSavedWallpaperStyle)) != 0;
}

SharedString SettingOrEmpty(const ConfigStore& store, const char16_t* key) {
  const auto it = store.Entries().find(SharedString(key));
  return it == store.Entries().end() ? SharedString() : it->second;
}

BOOL CALLBACK AddMonitor(HMONITOR handle, HDC, LPRECT, LPARAM list_address) {
  // A callback from the system: nothing may escape it.
  try {
    MONITORINFOEXW info = {};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(handle, &info)) return TRUE;
    Monitor monitor;
    monitor.rect = Orvex::PlaneRect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
                                    info.rcMonitor.bottom};
    if (monitor.rect.IsEmpty()) return TRUE;
    monitor.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    monitor.name = Orvex::FromWide(info.szDevice);
    reinterpret_cast<MonitorList*>(list_address)->push_back(std::move(monitor));
  } catch (...) {
  }
  return TRUE;
}

}  // namespace

void Win32Desktop::SetWallpaper(const SharedString& path, const Orvex::CPlane32*) {
  RestoreUserStyle();
  SetDesktopWallpaper(path);
}

void Win32Desktop::SetComposedWallpaper(const ComposedWallpaper& wallpaper) {
  SaveUserStyle();
  ApplyWallpaperStyle({SharedString(u"1"), SharedString(u"0")});
  SetDesktopWallpaper(wallpaper.path);
}

void Win32Desktop::SaveUserStyle() {
  ConfigStore store = store_factory_();
  const bool saved = store.Change(ConfigStore::Base::kDefaults, [](ConfigStore& now) {
    if (KeepsUserStyle(now)) return;
    const WallpaperStyle user = CurrentWallpaperStyle();
    now.SetString(config_key::kSavedTileWallpaper, ToSetting(user.tile));
    now.SetString(config_key::kSavedWallpaperStyle, ToSetting(user.style));
  });
  // Without the copy on the disk the user's style could never come back:
  // then it is not changed at all.
  if (!saved) {
    throw Orvex::RuntimeException(u"設定ファイル '" + store.FilePath() +
                                  u"' に壁紙の配置を保存できませんでした");
  }
}

void Win32Desktop::RestoreUserStyle() {
  // The usual case, one picture all along, reads the file and writes
  // nothing.
  ConfigStore peek = store_factory_();
  peek.Load();
  if (!KeepsUserStyle(peek)) return;

  store_factory_().Change(ConfigStore::Base::kDefaults, [](ConfigStore& now) {
    if (!KeepsUserStyle(now)) return;
    // The registry first: a failure there keeps the copy for the next try.
    // Writing the same style again, should the change run twice, is harmless.
    ApplyWallpaperStyle({FromSetting(SettingOrEmpty(now, config_key::kSavedTileWallpaper)),
                         FromSetting(SettingOrEmpty(now, config_key::kSavedWallpaperStyle))});
    now.RemoveKey(config_key::kSavedTileWallpaper);
    now.RemoveKey(config_key::kSavedWallpaperStyle);
  });
}

Win32Desktop::WallpaperStyle Win32Desktop::CurrentWallpaperStyle() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return {};
  }
  WallpaperStyle style{ReadStyleValue(key, kTileValue), ReadStyleValue(key, kStyleValue)};
  RegCloseKey(key);
  return style;
}

void Win32Desktop::ApplyWallpaperStyle(const WallpaperStyle& style) {
  HKEY key = nullptr;
  const LONG opened = RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0,
                                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
  if (opened != ERROR_SUCCESS) ThrowRegistryError(opened);
  try {
    WriteStyleValue(key, kTileValue, style.tile);
    WriteStyleValue(key, kStyleValue, style.style);
  } catch (...) {
    RegCloseKey(key);
    throw;
  }
  RegCloseKey(key);
}

void Win32Desktop::RemoveWallpaper() { SetDesktopWallpaper(SharedString()); }

std::optional<Orvex::PlaneSize> Win32Desktop::GetScreenSize() {
  const Orvex::DisplayMode mode = Orvex::GetDisplayMode();
  if (mode.width <= 0 || mode.height <= 0) return std::nullopt;
  return Orvex::PlaneSize{mode.width, mode.height};
}

MonitorList Win32Desktop::GetMonitors() {
  MonitorList monitors;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  // A system that lists none still has the display mode's screen.
  if (monitors.empty()) return IDesktop::GetMonitors();
  return monitors;
}

SharedString Win32Desktop::MonitorUnderPointer() {
  POINT pointer = {};
  if (!GetCursorPos(&pointer)) return {};
  HMONITOR monitor = MonitorFromPoint(pointer, MONITOR_DEFAULTTONULL);
  if (!monitor) return {};
  MONITORINFOEXW info = {};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return {};
  // The device name, as GetMonitors names each monitor.
  return Orvex::FromWide(info.szDevice);
}

uint32_t Win32Desktop::GetDesktopColor() { return GetSysColor(COLOR_BACKGROUND) & 0xFFFFFF; }

void Win32Desktop::ShowError(const SharedString& caption, const SharedString& text) {
  Orvex::ShowMessage(owner_, Orvex::kMbIconHand, caption, text);
}

SharedString Win32Desktop::CurrentWallpaper() {
  wchar_t path[MAX_PATH + 1] = {};
  if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0)) {
    throw Orvex::Win32Exception(u"壁紙の取得に失敗");
  }
  return Orvex::FromWide(path);
}
