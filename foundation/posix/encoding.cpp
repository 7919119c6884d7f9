#include "foundation/encoding.h"

#include <clocale>
#include <locale>

namespace Orvex {
namespace {

// POSIX has no ANSI code page; the narrow encoding is UTF-8. One UTF-16
// code unit takes up to 3 bytes (a surrogate pair, two units, takes 4).
class DefaultEncoding final : public Encoding {
 public:
  int GetBytes(const char16_t* chars, int char_count, char* bytes,
               int byte_capacity) const override {
    if (char_count <= 0) return 0;
    std::string utf8 = ToUtf8(SharedString(chars, static_cast<size_t>(char_count)));
    int n = static_cast<int>(utf8.size());
    if (n > byte_capacity) {
      // Cut before a partial character.
      n = byte_capacity;
      while (n > 0 && (static_cast<unsigned char>(utf8[n]) & 0xC0) == 0x80) --n;
    }
    utf8.copy(bytes, n);
    return n;
  }
  int GetMaxByteCount(int char_count) const override { return char_count * 3; }
  int GetMaxCharCount(int byte_count) const override { return byte_count; }
  SharedString GetString(const char* bytes, int offset, int count) const override {
    if (count <= 0) return SharedString();
    return FromUtf8(std::string_view(bytes + offset, count));
  }
  bool IsSingleByte() const override { return false; }
};

const bool locale_ready = [] {
  try {
    std::locale::global(std::locale(""));
  } catch (const std::exception&) {
    std::setlocale(LC_ALL, "");  // an unknown LANG: keep what C gives
  }
  return true;
}();

}  // namespace

const Encoding& GetDefaultEncoding() {
  static const DefaultEncoding encoding;
  return encoding;
}

bool IsNtPlatform() { return true; }

}  // namespace Orvex
