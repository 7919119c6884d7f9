#include "app/win32/desktop.h"

#include <string>

#include "foundation/display.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

using Orvex::SharedString;

namespace {

constexpr UINT kWallpaperUpdate = SPIF_UPDATEINIFILE | SPIF_SENDCHANGE;

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

}  // namespace

void Win32Desktop::SetWallpaper(const SharedString& path, const Orvex::CPlane32*) {
  SetDesktopWallpaper(path);
}

void Win32Desktop::RemoveWallpaper() { SetDesktopWallpaper(SharedString()); }

std::optional<Orvex::PlaneSize> Win32Desktop::GetScreenSize() {
  const Orvex::DisplayMode mode = Orvex::GetDisplayMode();
  if (mode.width <= 0 || mode.height <= 0) return std::nullopt;
  return Orvex::PlaneSize{mode.width, mode.height};
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
