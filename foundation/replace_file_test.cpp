#include "foundation/replace_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/system_test_support.h"

namespace Orvex {
namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ReplaceFileTest, TheNewFileTakesThePlaceOfTheOld) {
  const std::string folder = Testing::TemporaryPath(Testing::UniqueName("pelmora-replace"));
  std::filesystem::create_directories(folder);
  const std::string source = folder + "/new.tmp", target = folder + "/settings.cfg";
  std::ofstream(source, std::ios::binary) << "new";
  std::ofstream(target, std::ios::binary) << "old contents";
  ReplaceFileAtomically(FromUtf8(source), FromUtf8(target));
  EXPECT_EQ(Contents(target), "new");
  EXPECT_FALSE(std::filesystem::exists(source));

  // Nothing to put in place: the target stays as it was.
  try {
    ReplaceFileAtomically(FromUtf8(source), FromUtf8(target));
    FAIL();
  } catch (const Win32Exception& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  GetDefaultEncoding().ToMultiByte(FromUtf8(target) + u" への置き換えに失敗"), 0),
              0u);
  }
  EXPECT_EQ(Contents(target), "new");
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace Orvex
