#include "foundation/win32/program_window.h"

#include "foundation/dll.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/win32/unique_handle.h"

namespace Orvex {
namespace {

struct WindowSearch {
  const std::vector<PROCESSENTRY32W>* processes;
  SharedString title;
  HWND found = nullptr;
};

BOOL CALLBACK VisitWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  if (GetWindowLongW(window, GWL_STYLE) & WS_CHILD) return TRUE;
  if (!GetPropW(window, kProgramWindowProperty)) return TRUE;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  SharedString exe;
  for (const PROCESSENTRY32W& entry : *search->processes) {
    if (entry.th32ProcessID == process_id) {
      exe = FromWide(entry.szExeFile);
      break;
    }
  }
  if (FileTitle(exe) == search->title) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::vector<PROCESSENTRY32W> ListProcesses() {
  const SharedString kFailed(u"プロセスのスナップショット取得に失敗しました");
  CDll kernel(u"KERNEL32.DLL", false);
  typedef HANDLE WINAPI CreateSnapshot(DWORD, DWORD);
  typedef BOOL WINAPI Walk(HANDLE, PROCESSENTRY32W*);
  const UniqueHandle<> snapshot(
      kernel.GetFunction<CreateSnapshot>("CreateToolhelp32Snapshot")(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) throw RuntimeException(kFailed);
  std::vector<PROCESSENTRY32W> processes;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (!kernel.GetFunction<Walk>("Process32FirstW")(snapshot.Get(), &entry)) {
    throw RuntimeException(kFailed);
  }
  Walk* next = kernel.GetFunction<Walk>("Process32NextW");
  do {
    processes.push_back(entry);
    entry.dwSize = sizeof entry;
  } while (next(snapshot.Get(), &entry));
  return processes;
}

HWND FindProgramWindow(const SharedString& exe_path) {
  const std::vector<PROCESSENTRY32W> processes = ListProcesses();
  WindowSearch search{&processes, FileTitle(exe_path)};
  EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace Orvex
