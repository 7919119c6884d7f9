#include "foundation/win32/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"

namespace Orvex {
namespace {

const wchar_t kTestKey[] = L"Software\\PelmoraTests\\Registry";

class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    Set(key, L"", L"C:\\Plugins");
    Set(key, L"Exact", std::wstring(256, L'a'));
    Set(key, L"Long", std::wstring(300, L'b'));
    RegCloseKey(key);
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\PelmoraTests"); }

  static void Set(HKEY key, const wchar_t* name, const std::wstring& value) {
    // Stored without its terminating NUL, as some programs write strings.
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() * sizeof(wchar_t)));
  }
  static std::string Narrow(const SharedString& text) {
    return GetDefaultEncoding().ToMultiByte(text);
  }
};

TEST_F(RegistryTest, ReadsStringValuesOfAnOpenKey) {
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, FromWide(kTestKey)));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Software\\PelmoraTests\\Missing"));
  CRegistryKey key;
  key.Open(HKEY_CURRENT_USER, FromWide(kTestKey), false);
  EXPECT_EQ(key.GetString(u""), SharedString(u"C:\\Plugins"));
  EXPECT_EQ(key.GetString(u"Exact"), SharedString(std::u16string(256, u'a')));
  // Reopening a key closes the one held before.
  key.Open(HKEY_CURRENT_USER, FromWide(kTestKey), true);
  EXPECT_EQ(key.GetString(u""), SharedString(u"C:\\Plugins"));
}

TEST_F(RegistryTest, FailuresNameTheKeyOrTheValue) {
  CRegistryKey key;
  try {
    key.Open(HKEY_CURRENT_USER, u"Software\\PelmoraTests\\Missing", false);
    FAIL();
  } catch (const RuntimeException& e) {
    EXPECT_EQ(e.what(),
              Narrow(u"レジストリキー 'Software\\PelmoraTests\\Missing' のオープンに失敗しました"));
  }
  EXPECT_FALSE(key.IsOpen());
  key.Open(HKEY_CURRENT_USER, FromWide(kTestKey), false);
  for (const char16_t* name : {u"Long", u"Missing"}) {
    try {
      key.GetString(name);
      FAIL() << Narrow(name);
    } catch (const RuntimeException& e) {
      EXPECT_EQ(e.what(), Narrow(u"レジストリキー '" + SharedString(name) +
                                 u"' の文字列の取得に失敗しました"));
    }
  }
}

}  // namespace
}  // namespace Orvex
