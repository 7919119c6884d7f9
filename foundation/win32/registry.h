#pragma once

#include "foundation/shared_string.h"
#include "foundation/win32/win32.h"

namespace Orvex {

// True when the key can be opened.
bool KeyExists(HKEY root, const SharedString& sub_key);

// An open registry key, or none.
class CRegistryKey {
 public:
  CRegistryKey() = default;
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;
  ~CRegistryKey() { Close(); }

  // Closes any open key first; throws RuntimeException.
  void Open(HKEY root, const SharedString& sub_key, bool writable);
  void Close();
  bool IsOpen() const { return key_ != nullptr; }

  // The text of a string value (an empty name: the key's default value), up
  // to its first NUL. Values longer than 256 characters are refused.
  // Throws RuntimeException.
  SharedString GetString(const SharedString& value_name) const;

 private:
  HKEY key_ = nullptr;
};

}  // namespace Orvex
