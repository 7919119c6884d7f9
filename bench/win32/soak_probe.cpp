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
// Wine answers GetProcessHandleCount with 0 for every process. Started with
// "--table", the probe counts the handles in the system's handle table
// instead; by default it does not, because Wine's server (8.0) has been seen
// to crash under that query while processes come and go quickly.
//
// The program is found by its tray window (the property a second start
// looks for), so a fresh start after a kill is found again.
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <vector>

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

// The system handle table's entries, as NtQuerySystemInformation gives them
// for SystemExtendedHandleInformation.
struct HandleEntry {
  void* object;
  ULONG_PTR process_id;
  ULONG_PTR handle;
  ULONG granted_access;
  USHORT back_trace_index;
  USHORT type_index;
  ULONG attributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};
constexpr ULONG kSystemExtendedHandleInformation = 64;

long HandlesInTable(DWORD process_id) {
  using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
  const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                             "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  std::vector<unsigned char> buffer(1 << 20);
  for (int tries = 0; tries < 8; ++tries) {
    ULONG needed = 0;
    const LONG status = query(kSystemExtendedHandleInformation, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
    if (status == 0) {
      const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
      long count = 0;
      for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->entries[i].process_id == process_id) ++count;
      }
      return count;
    }
    buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
  }
  return -1;
}

// The memory the program has committed for itself alone (its heaps, stacks
// and other allocations of its own), as Windows counts its private bytes.
// Wine answers PrivateUsage of another process with its swap use; walking
// the process's address space gives the figure there too, without what
// Wine's own Unix side holds in the same host process.
unsigned long long PrivateCommitted(HANDLE process) {
  unsigned long long total = 0;
  MEMORY_BASIC_INFORMATION region = {};
  for (const char* at = nullptr;
       VirtualQueryEx(process, at, &region, sizeof region) == sizeof region &&
       region.RegionSize != 0;
       at = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
  }
  return total;
}

void Figures(bool count_in_table) {
  const DWORD process_id = TrayProcess();
  HANDLE process =
      process_id ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process_id)
                 : nullptr;
  if (process == nullptr) {
    std::puts("none");
    return;
  }
  DWORD handles = 0;
  long handle_count = GetProcessHandleCount(process, &handles) ? long(handles) : -1;
  if (handle_count <= 0 && count_in_table) handle_count = HandlesInTable(process_id);
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof counters;
  unsigned long long private_bytes =
      GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)
          ? counters.PrivateUsage
          : 0;
  if (private_bytes == 0) private_bytes = PrivateCommitted(process);
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

int main(int argc, char** argv) {
  const bool count_in_table = argc > 1 && std::strcmp(argv[1], "--table") == 0;
  char line[64];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    line[std::strcspn(line, "\r\n")] = '\0';
    if (std::strcmp(line, "figures") == 0) {
      Figures(count_in_table);
    } else if (std::strcmp(line, "kill") == 0) {
      Kill();
    } else {
      std::puts("?");
    }
    std::fflush(stdout);
  }
  return 0;
}
