#include "foundation/win32/file_dialog.h"

#include <gtest/gtest.h>

#include <string>

namespace Orvex {
namespace {

std::u16string Cleaned(std::u16string name) {
  name.push_back(0);
  Detail::ReplaceInvalidFileNameCharacters(name.data(), name.size());
  name.pop_back();
  return name;
}

TEST(FileDialogTest, AnInvalidNameIsOfferedAgainWithDashes) {
  EXPECT_EQ(Cleaned(u"C:\\壁紙/a:b\"*<>?|.bmp"), u"C:-壁紙-a-b------.bmp");
  EXPECT_EQ(Cleaned(u":x"), u"-x");  // only a drive letter keeps its colon
  EXPECT_EQ(Cleaned(u"普通の名前.bmp"), u"普通の名前.bmp");
}

}  // namespace
}  // namespace Orvex
