#include "foundation/test_environment.h"

#include "foundation/win32/win32.h"

namespace Orvex::Testing {

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace Orvex::Testing
