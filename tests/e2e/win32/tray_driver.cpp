// Steers a running Pelmora from inside its Wine session, the way a user or a
// second start would, and reports what the windows show:
//   tray_driver find MS              waits up to MS ms for the tray window,
//                                    prints its text (= the icon's tooltip)
//   tray_driver gone MS              waits up to MS ms until it has gone
//   tray_driver text                 prints the tray window's text
//   tray_driver command ID           posts WM_COMMAND ID to the tray window
//   tray_driver tray dblclk|rclick   posts the icon's callback message
//   tray_driver icon                 "X Y": the screen centre of the first
//                                    notification icon
//   tray_driver tip MS               waits up to MS ms for a tooltip on the
//                                    screen (the pointer resting on the
//                                    icon shows its tip) and prints it
//   tray_driver wallpaper            the wallpaper the system reports
//   tray_driver set-wallpaper PATH   sets it (PATH may be empty)
//   tray_driver windows              the program's visible top-level
//                                    windows: class TAB title TAB "L T R B"
//                                    (the screen rectangle) per line
//   tray_driver controls WINDOW MS   waits up to MS ms for a window and
//                                    prints its controls, one per line:
//                                    id TAB class TAB enabled TAB checked
//                                    TAB selection TAB text [TAB items]
//   tray_driver click WINDOW ID      presses button ID (BM_CLICK)
//   tray_driver set-text WINDOW ID TEXT
//   tray_driver select WINDOW ID INDEX   picks a drop-down list item
//   tray_driver end WINDOW ID        ends a dialog as its button ID would
//   tray_driver box MS               waits for a message box, prints its
//                                    caption and text, presses OK
//   tray_driver menu EXE             menu 102 of EXE: id TAB text per item
//   tray_driver record FILE ARGS...  appends ARGS as one line to FILE
// WINDOW is a visible top-level window of the program: its exact title, or
// "~TEXT" for the window that has a control showing exactly TEXT (the
// folder chooser puts its title inside). Text goes out as UTF-8; the exit
// status is 0 on success, 1 when the thing asked for is not there, 2 for a
// bad command line.
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <tlhelp32.h>
// clang-format on

namespace {

constexpr UINT kTrayCallback = 0x8001;
constexpr wchar_t kTrayProperty[] = L"Pelmora.TrayWindow";
constexpr wchar_t kProgramName[] = L"pelmora.exe";
constexpr DWORD kSendTimeoutMs = 5000;

std::string Utf8(std::wstring_view text) {
  std::string bytes(text.size() * 4 + 1, '\0');
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                          static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(length > 0 ? length : 0);
  return bytes;
}

void Print(std::wstring_view text) {
  const std::string bytes = Utf8(text) + '\n';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

// Other processes' controls answer only to messages, not to GetWindowText.
std::wstring TextOf(HWND window) {
  wchar_t text[2048] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied)) {
    return {};
  }
  return text;
}

// A top-level window's title is kept by the system and read without asking
// the window, which may be busy with a change.
std::wstring TitleOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

LRESULT Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

std::vector<DWORD> ProgramProcesses() {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    const wchar_t* name = entry.szExeFile;
    if (const wchar_t* slash = std::wcsrchr(name, L'\\')) name = slash + 1;
    if (_wcsicmp(name, kProgramName) == 0) ids.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return ids;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool OfProgram(HWND window, const std::vector<DWORD>& processes) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  for (DWORD id : processes) {
    if (id == process) return true;
  }
  return false;
}

// The window a second start notifies: marked as the tray window by the
// program itself, so that a dialog or box of the same process never counts.
HWND TrayWindow() {
  const std::vector<DWORD> processes = ProgramProcesses();
  for (HWND window : TopLevelWindows()) {
    if (OfProgram(window, processes) && GetPropW(window, kTrayProperty)) return window;
  }
  return nullptr;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&children));
  return children;
}

bool Matches(HWND window, std::wstring_view pattern) {
  if (!pattern.empty() && pattern.front() == L'~') {
    for (HWND child : Children(window)) {
      if (TextOf(child) == pattern.substr(1)) return true;
    }
    return false;
  }
  return TextOf(window) == pattern;
}

HWND FindWindowOf(std::wstring_view pattern) {
  const std::vector<DWORD> processes = ProgramProcesses();
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && OfProgram(window, processes) && Matches(window, pattern)) {
      return window;
    }
  }
  return nullptr;
}

template <typename Found>
auto WaitFor(DWORD timeout_ms, Found found) -> decltype(found()) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (auto result = found()) return result;
    if (GetTickCount() - start > timeout_ms) return {};
    Sleep(100);
  }
}

DWORD Number(const wchar_t* text) { return std::wcstoul(text, nullptr, 10); }

int PrintControls(HWND dialog) {
  for (HWND control : Children(dialog)) {
    const std::wstring kind = ClassOf(control);
    std::wstring line = std::to_wstring(GetDlgCtrlID(control)) + L"\t" + kind + L"\t" +
                        (IsWindowEnabled(control) ? L"1" : L"0") + L"\t";
    const bool button = _wcsicmp(kind.c_str(), L"Button") == 0;
    const bool combo = _wcsicmp(kind.c_str(), L"ComboBox") == 0;
    line += button ? std::to_wstring(Send(control, BM_GETCHECK, 0, 0)) : L"-";
    line += L"\t";
    line += combo ? std::to_wstring(Send(control, CB_GETCURSEL, 0, 0)) : L"-";
    line += L"\t" + TextOf(control);
    if (combo) {
      line += L"\t";
      const LRESULT count = Send(control, CB_GETCOUNT, 0, 0);
      for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[256] = {};
        if (Send(control, CB_GETLBTEXTLEN, i, 0) < 255) {
          Send(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        }
        line += (i ? L"|" : L"") + std::wstring(item);
      }
    }
    Print(line);
  }
  return 0;
}

// A message box is a dialog with its text in the static control 0xFFFF.
HWND MessageBoxOfProgram() {
  const std::vector<DWORD> processes = ProgramProcesses();
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && OfProgram(window, processes) && GetDlgItem(window, 0xFFFF)) {
      return window;
    }
  }
  return nullptr;
}

int CloseBox(DWORD timeout_ms) {
  HWND box = WaitFor(timeout_ms, MessageBoxOfProgram);
  if (!box) return 1;
  // The text may be set a moment after the window appears.
  Sleep(200);
  Print(TextOf(box));
  Print(TextOf(GetDlgItem(box, 0xFFFF)));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return 0;
}

int ListMenu(const wchar_t* exe) {
  HMODULE module = LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return 1;
  HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(102));
  if (!menu) return 1;
  HMENU popup = GetSubMenu(menu, 0);
  const int count = popup ? GetMenuItemCount(popup) : 0;
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_STATE;
    item.dwTypeData = text;
    item.cch = 256;
    GetMenuItemInfoW(popup, i, TRUE, &item);
    if (item.fType & MFT_SEPARATOR) {
      Print(L"-");
    } else {
      Print(std::to_wstring(item.wID) + L"\t" + text + L"\t" + std::to_wstring(item.fState));
    }
  }
  DestroyMenu(menu);
  return 0;
}

int Record(int argc, wchar_t** argv) {
  HANDLE file = CreateFileW(argv[2], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::wstring line;
  for (int i = 3; i < argc; ++i) line += (i > 3 ? L"\t" : L"") + std::wstring(argv[i]);
  const std::string bytes = Utf8(line) + '\n';
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}

// Where the first notification icon sits on the taskbar: its own window
// where Wine makes one, else the first slot from the right, where Wine
// paints it (a small icon with a border of 2).
int TrayIcon() {
  HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr);
  if (!tray) return 1;
  RECT place = {};
  for (HWND child : Children(tray)) {
    if (_wcsicmp(ClassOf(child).c_str(), L"Button") != 0 && IsWindowVisible(child)) {
      GetWindowRect(child, &place);
      break;
    }
  }
  if (place.right == 0) {
    GetWindowRect(tray, &place);
    place.left = place.right - (GetSystemMetrics(SM_CXSMICON) + 4);
  }
  // Wine paints a new wallpaper over the taskbar and leaves it so until
  // the bar is drawn again; a screenshot after this shows the bar.
  RedrawWindow(tray, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
  Print(std::to_wstring((place.left + place.right) / 2) + L" " +
        std::to_wstring((place.top + place.bottom) / 2));
  return 0;
}

// Any process's: the icon's tip belongs to the taskbar.
HWND ShownTooltip() {
  for (HWND window : TopLevelWindows()) {
    if (IsWindowVisible(window) && _wcsicmp(ClassOf(window).c_str(), L"tooltips_class32") == 0 &&
        !TextOf(window).empty()) {
      return window;
    }
  }
  return nullptr;
}

int WithWindow(const wchar_t* pattern, int id, UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = WaitFor(5000, [&] { return FindWindowOf(pattern); });
  if (!window) return 1;
  HWND control = GetDlgItem(window, id);
  if (!control) return 1;
  Send(control, message, wparam, lparam);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring_view command = argv[1];
  if (command == L"find" && argc == 3) {
    HWND tray = WaitFor(Number(argv[2]), TrayWindow);
    if (!tray) return 1;
    Print(TitleOf(tray));
    return 0;
  }
  if (command == L"gone" && argc == 3) {
    return WaitFor(Number(argv[2]), [] { return !TrayWindow(); }) ? 0 : 1;
  }
  if (command == L"text" || command == L"command" || command == L"tray") {
    HWND tray = TrayWindow();
    if (!tray) return 1;
    if (command == L"text" && argc == 2) {
      Print(TitleOf(tray));
      return 0;
    }
    if (command == L"command" && argc == 3) {
      return PostMessageW(tray, WM_COMMAND, Number(argv[2]), 0) ? 0 : 1;
    }
    if (command == L"tray" && argc == 3) {
      const std::wstring_view event = argv[2];
      const LPARAM mouse = event == L"dblclk"   ? WM_LBUTTONDBLCLK
                           : event == L"rclick" ? WM_RBUTTONUP
                                                : 0;
      if (!mouse) return 2;
      return PostMessageW(tray, kTrayCallback, 0, mouse) ? 0 : 1;
    }
    return 2;
  }
  if (command == L"icon" && argc == 2) return TrayIcon();
  if (command == L"tip" && argc == 3) {
    HWND tip = WaitFor(Number(argv[2]), ShownTooltip);
    if (!tip) return 1;
    Print(TextOf(tip));
    return 0;
  }
  if (command == L"wallpaper" && argc == 2) {
    wchar_t path[MAX_PATH + 1] = {};
    if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0)) return 1;
    Print(path);
    return 0;
  }
  if (command == L"set-wallpaper" && argc == 3) {
    return SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, argv[2],
                                 SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)
               ? 0
               : 1;
  }
  if (command == L"windows" && argc == 2) {
    const std::vector<DWORD> processes = ProgramProcesses();
    for (HWND window : TopLevelWindows()) {
      if (IsWindowVisible(window) && OfProgram(window, processes)) {
        RECT place = {};
        GetWindowRect(window, &place);
        Print(ClassOf(window) + L"\t" + TextOf(window) + L"\t" + std::to_wstring(place.left) +
              L" " + std::to_wstring(place.top) + L" " + std::to_wstring(place.right) + L" " +
              std::to_wstring(place.bottom));
      }
    }
    return 0;
  }
  if (command == L"controls" && argc == 4) {
    HWND window = WaitFor(Number(argv[3]), [&] { return FindWindowOf(argv[2]); });
    if (!window) return 1;
    // Let the dialog finish its initialisation before it is read.
    Sleep(300);
    return PrintControls(window);
  }
  if (command == L"click" && argc == 4) {
    return WithWindow(argv[2], static_cast<int>(Number(argv[3])), BM_CLICK, 0, 0);
  }
  if (command == L"set-text" && argc == 5) {
    return WithWindow(argv[2], static_cast<int>(Number(argv[3])), WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(argv[4]));
  }
  if (command == L"select" && argc == 5) {
    const int id = static_cast<int>(Number(argv[3]));
    if (WithWindow(argv[2], id, CB_SETCURSEL, Number(argv[4]), 0) != 0) return 1;
    HWND window = FindWindowOf(argv[2]);
    Send(window, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
         reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    return 0;
  }
  if (command == L"end" && argc == 4) {
    HWND window = WaitFor(5000, [&] { return FindWindowOf(argv[2]); });
    if (!window) return 1;
    return PostMessageW(window, WM_COMMAND, Number(argv[3]), 0) ? 0 : 1;
  }
  if (command == L"box" && argc == 3) return CloseBox(Number(argv[2]));
  if (command == L"menu" && argc == 3) return ListMenu(argv[2]);
  if (command == L"record" && argc >= 3) return Record(argc, argv);
  return 2;
}
