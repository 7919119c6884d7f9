#include "app/linux/user_paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "app/config_store.h"
#include "app/user_paths.h"
#include "foundation/test_folder.h"

using Orvex::SharedString;

namespace {

EnvironmentLookup Environment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](const char* name) -> const char* {
    auto it = values.find(name);
    return it == values.end() ? nullptr : it->second.c_str();
  };
}

TEST(UserPathsTest, SettingsBesideTheProgramMakeAPortableCopy) {
  Orvex::Testing::TestFolder root;
  const SharedString program = root / u"bin/pelmora";
  Orvex::Testing::TestFolder::WriteBytes(root / u"bin/pelmora.cfg", "");
  const UserPaths paths = FindUserPaths(program, Environment({{"HOME", "/home/u"}}));
  EXPECT_TRUE(paths.portable);
  EXPECT_EQ(paths.settings_file, root / u"bin/pelmora.cfg");
  EXPECT_EQ(paths.lock_name, program + u".cfg");
  EXPECT_EQ(paths.image_folder, SharedString(u"./image/"));
  EXPECT_EQ(paths.data_folder, SharedString(u"/home/u/.local/share/pelmora/"));
}

TEST(UserPathsTest, AnInstalledProgramFollowsTheXdgFolders) {
  Orvex::Testing::TestFolder root;
  const SharedString program = root / u"bin/pelmora";
  // A folder of that name is no settings file.
  std::filesystem::create_directories(Orvex::Testing::FsPath(root / u"bin/pelmora.cfg"));

  UserPaths paths = FindUserPaths(program, Environment({{"HOME", "/home/u"},
                                                        {"XDG_CONFIG_HOME", "/x/conf"},
                                                        {"XDG_DATA_HOME", "/x/data/"}}));
  EXPECT_FALSE(paths.portable);
  EXPECT_EQ(paths.settings_file, SharedString(u"/x/conf/pelmora/pelmora.cfg"));
  EXPECT_EQ(paths.data_folder, SharedString(u"/x/data/pelmora/"));
  EXPECT_EQ(paths.image_folder, SharedString(u"/x/data/pelmora/image/"));
  EXPECT_NE(paths.lock_name, paths.settings_file);

  // Empty and relative values count as unset.
  paths = FindUserPaths(
      program,
      Environment({{"HOME", "/home/u"}, {"XDG_CONFIG_HOME", ""}, {"XDG_DATA_HOME", "data"}}));
  EXPECT_EQ(paths.settings_file, SharedString(u"/home/u/.config/pelmora/pelmora.cfg"));
  EXPECT_EQ(paths.image_folder, SharedString(u"/home/u/.local/share/pelmora/image/"));
}

TEST(UserPathsTest, AFirstStartMakesTheFoldersItsSettingsName) {
  // The test program has no settings beside it, so it counts as installed.
  Orvex::Testing::TestFolder root;
  setenv("XDG_CONFIG_HOME", Orvex::ToUtf8(root / u"config").c_str(), 1);
  setenv("XDG_DATA_HOME", Orvex::ToUtf8(root / u"data").c_str(), 1);
  ASSERT_FALSE(CurrentUserPaths().portable);

  CreateDefaultFolders();
  ConfigStore store;
  store.LoadWithDefaults();
  EXPECT_TRUE(std::filesystem::is_regular_file(
      Orvex::Testing::FsPath(root / u"config/pelmora/pelmora.cfg")));
  EXPECT_EQ(store.GetString(u"ImageDir"), root / u"data/pelmora/image/");
  EXPECT_EQ(store.GetString(u"SaveFile"), root / u"data/pelmora/Pelmora.bmp");
  EXPECT_TRUE(std::filesystem::is_directory(Orvex::Testing::FsPath(root / u"data/pelmora/image")));

  // Once there are settings, a folder the user removed stays removed.
  std::filesystem::remove(Orvex::Testing::FsPath(root / u"data/pelmora/image"));
  CreateDefaultFolders();
  EXPECT_FALSE(std::filesystem::exists(Orvex::Testing::FsPath(root / u"data/pelmora/image")));
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
