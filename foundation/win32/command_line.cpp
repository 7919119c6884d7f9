#include "foundation/command_line.h"

#include "foundation/encoding.h"
#include "foundation/win32/win32.h"

namespace Orvex {

SharedString GetCommandLineText() {
  if (IsNtPlatform()) return FromWide(GetCommandLineW());
  return GetDefaultEncoding().ToWide(GetCommandLineA());
}

std::vector<SharedString> SplitCommandLine() { return SplitCommandLine(GetCommandLineText()); }

void SetProcessArguments(int, const char* const*) {}

}  // namespace Orvex
