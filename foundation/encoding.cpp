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

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace Orvex
