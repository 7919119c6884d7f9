#include <gtest/gtest.h>

#include <string>

#include "app/config_store.h"
#include "foundation/win32/win32.h"

namespace {

const wchar_t kKey[] = L"Software\\Tarnwick\\Susie\\InstallRoot";

TEST(PluginFolderTest, TheRegisteredFolderBecomesTheDefault) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    RegCloseKey(key);
    GTEST_SKIP() << "plug-ins are installed on this machine; their registration is left alone";
  }
  EXPECT_TRUE(RegisteredPluginFolder().IsEmpty());

  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  const std::wstring folder = L"C:\\Plugins";
  RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  const Orvex::SharedString found = RegisteredPluginFolder();
  RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(found, Orvex::SharedString(u"C:\\Plugins\\"));
}

}  // namespace
