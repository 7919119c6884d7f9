#include "foundation/posix/system_path.h"

#include "foundation/encoding.h"

namespace Orvex::Detail {

std::string ToSystemPath(const SharedString& p) {
  std::string path = GetDefaultEncoding().ToMultiByte(p);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

SharedString FromSystemPath(std::string_view path) { return GetDefaultEncoding().ToWide(path); }

}  // namespace Orvex::Detail
