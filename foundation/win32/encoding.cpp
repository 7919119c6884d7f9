#include "foundation/encoding.h"

#include <clocale>
#include <locale>
#include <vector>

#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

class DefaultEncoding final : public Encoding {
 public:
  int GetBytes(const char16_t* chars, int char_count, char* bytes,
               int byte_capacity) const override {
    if (char_count <= 0) return 0;
    return WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(chars), char_count,
                               bytes, byte_capacity, nullptr, nullptr);
  }
  int GetMaxByteCount(int char_count) const override { return char_count * 2; }
  int GetMaxCharCount(int byte_count) const override { return byte_count; }
  SharedString GetString(const char* bytes, int offset, int count) const override {
    if (count <= 0) return SharedString();
    std::vector<wchar_t> buffer(GetMaxByteCount(count) + 1);
    int n = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, bytes + offset, count, buffer.data(),
                                static_cast<int>(buffer.size()));
    return FromWide(buffer.data(), n > 0 ? n : 0);
  }
  bool IsSingleByte() const override { return false; }
};

// The runtime's locale follows the user's before main runs, for every
// thread alike.
const bool locale_ready = [] {
  _configthreadlocale(_DISABLE_PER_THREAD_LOCALE);
  try {
    std::locale::global(std::locale(""));
  } catch (const std::exception&) {
    std::setlocale(LC_ALL, "");
  }
  return true;
}();

}  // namespace

const Encoding& GetDefaultEncoding() {
  static const DefaultEncoding encoding;
  return encoding;
}

bool IsNtPlatform() {
  static const bool nt = [] {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info)) return true;
#pragma GCC diagnostic pop
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }();
  return nt;
}

}  // namespace Orvex
