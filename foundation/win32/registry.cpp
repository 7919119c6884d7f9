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
  wchar_t buffer[kCapacity + 1] = {};
  DWORD size = kCapacity * sizeof(wchar_t);
  if (!key_ || RegQueryValueExW(key_, Wide(value_name), nullptr, nullptr,
                                reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
    throw RuntimeException(u"レジストリキー '" + value_name + u"' の文字列の取得に失敗しました");
  }
  // The stored text need not end in a NUL; the extra element ends it.
  return FromWide(buffer);
}

}  // namespace Orvex
