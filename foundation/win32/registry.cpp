#include "foundation/win32/registry.h"

#include "foundation/exceptions.h"

namespace Orvex {

bool KeyExists(HKEY root, const SharedString& sub_key) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, Wide(sub_key), 0, 0, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void CRegistryKey::Open(HKEY root, const SharedString& sub_key, bool writable) {
  Close();
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, Wide(sub_key), 0, writable ? KEY_ALL_ACCESS : KEY_READ, &key) !=
      ERROR_SUCCESS) {
    throw RuntimeException(u"レジストリキー '" + sub_key + u"' のオープンに失敗しました");
  }
  key_ = key;
}

void CRegistryKey::Close() {
  if (key_) RegCloseKey(key_);
  key_ = nullptr;
}

SharedString CRegistryKey::GetString(const SharedString& value_name) const {
  constexpr DWORD kCapacity = 256;
  // One unit more than we accept: the system may insist on room for a NUL
  // that the stored text lacks, and the spare unit ends the text in any case.
  wchar_t buffer[kCapacity + 1] = {};
  DWORD size = sizeof buffer;
  const bool read =
      key_ && RegQueryValueExW(key_, Wide(value_name), nullptr, nullptr,
                               reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS;
  if (!read || (size > kCapacity * sizeof(wchar_t) && buffer[kCapacity] != 0)) {
    throw RuntimeException(u"レジストリキー '" + value_name + u"' の文字列の取得に失敗しました");
  }
  buffer[kCapacity] = 0;
  return FromWide(buffer);
}

}  // namespace Orvex
