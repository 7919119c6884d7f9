#pragma once

#include <vector>

#include "foundation/shared_string.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <tlhelp32.h>
// clang-format on

namespace Orvex {

// Every process running now, from a snapshot. Throws RuntimeException.
std::vector<PROCESSENTRY32W> ListProcesses();

// The window property that marks a program's resident window. Only a
// window that carries it is found: dialogs, tooltips and message boxes of
// the same process are top-level windows too and come first while open.
inline constexpr wchar_t kProgramWindowProperty[] = L"Pelmora.TrayWindow";

// The first top-level window, in the system's order, that carries the
// property above and belongs to a process whose executable has the same
// name (without folder and extension) as exe_path; null when there is none.
// Throws RuntimeException.
HWND FindProgramWindow(const SharedString& exe_path);

}  // namespace Orvex
