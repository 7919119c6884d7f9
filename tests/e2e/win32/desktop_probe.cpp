// Asks the Windows side of a test session what a user would see:
//   desktop_probe wallpaper         the wallpaper path the system reports
//   desktop_probe color             the desktop colour as "R G B"
//   desktop_probe screen            the display mode as "W H"
//   desktop_probe monitors          one line per monitor the system lists:
//                                   "LEFT TOP RIGHT BOTTOM PRIMARY NAME"
//   desktop_probe style             the wallpaper style in the registry:
//                                   TileWallpaper, then WallpaperStyle, one
//                                   line each, "-" for a missing value
//   desktop_probe box CAPTION MS    waits up to MS milliseconds for a message
//                                   box with that caption, prints its text
//                                   and presses its OK button
// Text goes out as UTF-8; the exit status is 0 on success, 1 when the thing
// asked for is not there, 2 for a bad command line.
#include <string>
#include <string_view>

#include "foundation/win32/win32.h"

namespace {

void Print(std::wstring_view text) {
  std::string bytes(text.size() * 4 + 1, '\0');
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(length > 0 ? length : 0);
  bytes += '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

std::wstring WindowText(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

// The message of a message box sits in its static control 0xFFFF.
std::wstring BoxText(HWND box) {
  if (HWND label = GetDlgItem(box, 0xFFFF)) return WindowText(label);
  return {};
}

int WaitForBox(const wchar_t* caption, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND box = FindWindowW(L"#32770", caption);
    if (box) {
      // The text may be set a moment after the window appears.
      Sleep(200);
      Print(BoxText(box));
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    if (GetTickCount() - start > timeout_ms) return 1;
    Sleep(100);
  }
}

BOOL CALLBACK PrintMonitor(HMONITOR handle, HDC, LPRECT, LPARAM) {
  MONITORINFOEXW info = {};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(handle, &info)) return TRUE;
  const RECT& r = info.rcMonitor;
  Print(std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " + std::to_wstring(r.right) +
        L" " + std::to_wstring(r.bottom) + L" " +
        ((info.dwFlags & MONITORINFOF_PRIMARY) ? L"1 " : L"0 ") + info.szDevice);
  return TRUE;
}

std::wstring StyleValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return L"-";
  }
  wchar_t text[64] = {};
  DWORD type = 0;
  DWORD size = sizeof text - sizeof(wchar_t);
  const LONG read =
      RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return L"-";
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring_view command = argv[1];
  if (command == L"wallpaper") {
    wchar_t path[MAX_PATH + 1] = {};
    if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0)) return 1;
    Print(path);
    return 0;
  }
  if (command == L"color") {
    const COLORREF color = GetSysColor(COLOR_BACKGROUND);
    Print(std::to_wstring(GetRValue(color)) + L" " + std::to_wstring(GetGValue(color)) + L" " +
          std::to_wstring(GetBValue(color)));
    return 0;
  }
  if (command == L"screen") {
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return 1;
    Print(std::to_wstring(mode.dmPelsWidth) + L" " + std::to_wstring(mode.dmPelsHeight));
    return 0;
  }
  if (command == L"monitors") {
    return EnumDisplayMonitors(nullptr, nullptr, PrintMonitor, 0) ? 0 : 1;
  }
  if (command == L"style") {
    Print(StyleValue(L"TileWallpaper"));
    Print(StyleValue(L"WallpaperStyle"));
    return 0;
  }
  if (command == L"box" && argc == 4)
    return WaitForBox(argv[2], std::wcstoul(argv[3], nullptr, 10));
  return 2;
}
