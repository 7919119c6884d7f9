#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "app/tray_menu_items.h"
#include "app/win32/app_window.h"
#include "app/win32/tray_icon.h"
#include "foundation/shared_string.h"
#include "foundation/win32/win32.h"

namespace {

using Orvex::SharedString;

// The menu is read back from the executable: the texts went through the
// resource compiler's UTF-8 reading.
TEST(ResourcesTest, TheTrayMenuHoldsEveryCommandWithItsText) {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTrayMenuId));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  const std::vector<TrayMenuItem> expected(std::begin(kTrayMenuItems), std::end(kTrayMenuItems));
  ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(expected.size()));
  for (size_t i = 0; i < expected.size(); ++i) {
    wchar_t text[128] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = 128;
    ASSERT_TRUE(GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info));
    if (!expected[i].text) {
      EXPECT_TRUE(info.fType & MFT_SEPARATOR) << i;
      continue;
    }
    EXPECT_EQ(static_cast<int>(info.wID), expected[i].id) << i;
    EXPECT_EQ(Orvex::FromWide(text), SharedString(expected[i].text)) << i;
    EXPECT_EQ(info.fState & (MFS_DISABLED | MFS_CHECKED), 0u) << i;
  }
  DestroyMenu(menu);
}

TEST(ResourcesTest, BothTrayIconsExistAtTheSmallSize) {
  for (int id : {101, 102}) {
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(icon, nullptr) << id;
    if (icon) DestroyIcon(icon);
  }
}

TEST(TrayIconTest, TheTipIsCutWithoutSplittingACharacter) {
  TrayIcon icon(nullptr, kTrayCallbackMessage);
  // The first record: 88 bytes in the 32-bit product.
  EXPECT_EQ(icon.Record().cbSize, sizeof(void*) == 4 ? 88u : NOTIFYICONDATAA_V1_SIZE);
  EXPECT_EQ(icon.Record().uCallbackMessage, 0x8001u);
  icon.SetTip(u"Pelmora build-15");
  EXPECT_STREQ(icon.Record().szTip, "Pelmora build-15");
  icon.SetTip(SharedString(std::u16string(70, u'x')));
  EXPECT_EQ(std::string(icon.Record().szTip), std::string(63, 'x'));
  if (GetACP() == 932) {
    // 2 bytes each: 31 of them fit, the 32nd would be split.
    icon.SetTip(SharedString(std::u16string(40, u'停')));
    EXPECT_EQ(std::string(icon.Record().szTip).size(), 62u);
  }
  EXPECT_FALSE(icon.Shown());
}

}  // namespace
