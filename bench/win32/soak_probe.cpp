// Looks at and kills the running resident program for bench/soak, from
// inside its Wine (or Windows) session. It stays running and answers one
// line per command read from its input, so that sampling every few seconds
// does not cost a process start each time:
//
//   figures  ->  "PID HANDLES THREADS PRIVATE_BYTES", or "none" while no
//                tray window is there
//   kill     ->  "killed PID" once TerminateProcess has ended the program
//                that owns the tray window, or "none"
//
// The program is found by its tray window (the property a second start
// looks for), so a fresh start after a kill is found again.
#include <cstdio>
#include <cstring>

#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <psapi.h>
#include <tlhelp32.h>
// clang-format on

namespace {

constexpr wchar_t kTrayProperty[] = L"Pelmora.TrayWindow";

BOOL CALLBACK FindTray(HWND window, LPARAM found) {
  if (GetPropW(window, kTrayProperty) != nullptr) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

DWORD TrayProcess() {
  HWND found = nullptr;
  EnumWindows(FindTray, reinterpret_cast<LPARAM>(&found));
  DWORD process_id = 0;
  if (found != nullptr) GetWindowThreadProcessId(found, &process_id);
  return process_id;
}

long ThreadsOf(DWORD process_id) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  long count = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == process_id) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

void Figures() {
  const DWORD process_id = TrayProcess();
  HANDLE process =
      process_id ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id)
                 : nullptr;
  if (process == nullptr) {
    std::puts("none");
    return;
  }
  DWORD handles = 0;
  const long handle_count = GetProcessHandleCount(process, &handles) ? long(handles) : -1;
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  const unsigned long long private_bytes =
      GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)
          ? counters.PrivateUsage
          : 0;
  CloseHandle(process);
  std::printf("%lu %ld %ld %llu\n", static_cast<unsigned long>(process_id), handle_count,
              ThreadsOf(process_id), private_bytes);
}

void Kill() {
  const DWORD process_id = TrayProcess();
  HANDLE process =
      process_id ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id) : nullptr;
  if (process == nullptr || !TerminateProcess(process, 9)) {
    if (process != nullptr) CloseHandle(process);
    std::puts("none");
    return;
  }
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
  std::printf("killed %lu\n", static_cast<unsigned long>(process_id));
}

}  // namespace

int main() {
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    if (std::strcmp(line, "figures") == 0) {
      Figures();
    } else if (std::strcmp(line, "kill") == 0) {
      Kill();
    } else {
      std::puts("?");
    }
    std::fflush(stdout);
  }
  return 0;
}
