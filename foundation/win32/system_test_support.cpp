#include "foundation/system_test_support.h"

#include <vector>

#include "foundation/win32/win32.h"

namespace Orvex::Testing {

SharedString ProgramBesideTests(const SharedString& name) {
  std::vector<wchar_t> buffer(32768);
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  SharedString self = FromWide(buffer.data(), n);
  return self.Substring(0, self.FindLastOf(u"\\/") + 1) + name + u".exe";
}

}  // namespace Orvex::Testing
