#include <cerrno>
#include <cstring>

#include "foundation/exceptions.h"

namespace Orvex::Detail {

std::string LastSystemErrorText() {
  const int code = errno;
  if (code == 0) return {};
  char buffer[256];
  // The GNU strerror_r may return a static text instead of filling buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  std::string result = text ? text : "";
  result += '\n';  // the system texts of Windows end in a line break; keep one shape
  errno = code;
  return result;
}

int LastSystemError() { return errno; }
void SetLastSystemError(int code) { errno = code; }

}  // namespace Orvex::Detail
