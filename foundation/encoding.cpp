#include "foundation/encoding.h"

#include <vector>

namespace Orvex {

std::string Encoding::ToMultiByte(const SharedString& text) const {
  const int count = static_cast<int>(text.Length());
  std::vector<char> buffer(GetMaxByteCount(count) + 1);
  int written = GetBytes(text.CStr(), count, buffer.data(), static_cast<int>(buffer.size()) - 1);
  return std::string(buffer.data(), written > 0 ? written : 0);
}

SharedString Encoding::ToWide(std::string_view bytes) const {
  return GetString(bytes.data(), 0, static_cast<int>(bytes.size()));
}

}  // namespace Orvex
