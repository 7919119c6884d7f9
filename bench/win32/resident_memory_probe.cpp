// Measures the memory of the running resident program while it changes the
// wallpaper on command, from inside its Wine (or Windows) session:
//
//   resident_memory_probe CHANGES IDLE_SECONDS [WAIT_MS]
//
// Waits up to WAIT_MS (60000) for the tray window, then prints one line per
// measurement, flushed at once so that a caller can look at the process at
// the same moment:
//   LABEL PRIVATE_BYTES WORKING_SET_BYTES SECONDS_OF_THE_LAST_CHANGE
// for LABEL "before", "change-N" (after the 1st, 10th and every 10th change
// and the last) and "idle" (IDLE_SECONDS after the last change). Each change
// is command 40005 sent (not posted) to the tray window, so it has ended
// when the call returns. Exit status 1 when the window or the process
// cannot be found or a change does not finish within two minutes.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <psapi.h>
// clang-format on

namespace {

constexpr wchar_t kTrayProperty[] = L"Pelmora.TrayWindow";
constexpr int kChangeNow = 40005;
constexpr UINT kChangeTimeoutMs = 120000;

BOOL CALLBACK FindTray(HWND window, LPARAM found) {
  if (GetPropW(window, kTrayProperty) != nullptr) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForTray(DWORD wait_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND found = nullptr;
    EnumWindows(FindTray, reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) return found;
    if (GetTickCount() - start > wait_ms) return nullptr;
    Sleep(200);
  }
}

void Report(HANDLE process, const char* label, double seconds) {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters)) {
    std::printf("%s ? ? %.3f\n", label, seconds);
  } else {
    std::printf("%s %llu %llu %.3f\n", label,
                static_cast<unsigned long long>(counters.PrivateUsage),
                static_cast<unsigned long long>(counters.WorkingSetSize), seconds);
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: resident_memory_probe CHANGES IDLE_SECONDS [WAIT_MS]\n");
    return 2;
  }
  const int changes = std::atoi(argv[1]);
  const int idle_seconds = std::atoi(argv[2]);
  const DWORD wait_ms = argc > 3 ? static_cast<DWORD>(std::atol(argv[3])) : 60000;

  HWND tray = WaitForTray(wait_ms);
  if (tray == nullptr) {
    std::fprintf(stderr, "resident_memory_probe: no tray window\n");
    return 1;
  }
  DWORD process_id = 0;
  GetWindowThreadProcessId(tray, &process_id);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id);
  if (process == nullptr) {
    std::fprintf(stderr, "resident_memory_probe: cannot open the process\n");
    return 1;
  }
  std::printf("pid %lu\n", static_cast<unsigned long>(process_id));
  Report(process, "before", 0);
  for (int i = 1; i <= changes; ++i) {
    const DWORD start = GetTickCount();
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(tray, WM_COMMAND, kChangeNow, 0, SMTO_NORMAL, kChangeTimeoutMs,
                             &ignored)) {
      std::fprintf(stderr, "resident_memory_probe: change %d did not finish\n", i);
      CloseHandle(process);
      return 1;
    }
    const double seconds = (GetTickCount() - start) / 1000.0;
    if (i == 1 || i % 10 == 0 || i == changes) {
      Report(process, ("change-" + std::to_string(i)).c_str(), seconds);
    }
  }
  Sleep(static_cast<DWORD>(idle_seconds) * 1000);
  Report(process, "idle", 0);
  CloseHandle(process);
  return 0;
}
