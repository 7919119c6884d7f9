#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

namespace Orvex::Detail {

std::string LastSystemErrorText() {
  const DWORD code = GetLastError();
  if (code == 0) return {};
  char* buffer = nullptr;
  DWORD n = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, code, 0x400, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string();
  if (buffer) LocalFree(buffer);
  SetLastError(code);
  return text;
}

int LastSystemError() { return static_cast<int>(GetLastError()); }
void SetLastSystemError(int code) { SetLastError(static_cast<DWORD>(code)); }

}  // namespace Orvex::Detail
