#include "app/config_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/user_paths.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/process.h"
#include "foundation/system_test_support.h"

using Orvex::FromUtf8;
using Orvex::SharedString;

namespace {

std::string Utf16Le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

class ConfigStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = Orvex::Testing::TemporaryPath(Orvex::Testing::UniqueName("pelmora-config"));
    file_ = folder_ + "/settings/Pelmora.cfg";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ConfigStore Store() const {
    return ConfigStore(FromUtf8(file_), FromUtf8(folder_ + "/Pelmora.exe.cfg"));
  }
  std::string Contents() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& bytes) const {
    std::filesystem::create_directories(folder_ + "/settings");
    std::ofstream(file_, std::ios::binary) << bytes;
  }
  static std::string Narrow(const SharedString& text) {
    return Orvex::GetDefaultEncoding().ToMultiByte(text);
  }

  std::string folder_, file_;
};

// The default file; the image folder and the wallpaper's place depend on
// the system and on where the settings live.
std::u16string SharedDefaults() {
  return std::u16string(
             u"ClearType = false\r\n"
             u"DoubleClick = 2\r\n"
             u"ImageDir = ") +
         DefaultImageFolder().Str() +
         u"\r\n"
         u"Interval(sec) = 1800\r\n"
         u"RemoveOnSuspend = false\r\n"
         u"Resize = true\r\n"
         u"ResizeAlignH = 1\r\n"
         u"ResizeAlignV = 0\r\n"
         u"ResizeBgColor = 1\r\n"
         u"ResizeFixedAspectRatio = false\r\n"
         u"SaveFile = " +
         DefaultWallpaperFile().Str() +
         u"\r\n"
         u"Sharp = false\r\n"
         u"SpiDir = ./spi/\r\n"
         u"Suspend = false\r\n"
         u"WaitFirst = false\r\n";
}

// With the settings only this platform has.
std::u16string Defaults() {
  ConfigStore platform;
  SetPlatformDefaults(platform);
  ConfigStore::Map entries = platform.Entries();
  ConfigStore::Parse(SharedDefaults(), entries);
  return ConfigStore::Format(entries).Str();
}

TEST_F(ConfigStoreTest, AMissingFileIsCreatedWithTheDefaults) {
  ConfigStore store = Store();
  EXPECT_FALSE(store.Load());
  store.LoadWithDefaults();
  EXPECT_EQ(Contents(), Utf16Le(Defaults()));
  EXPECT_FALSE(std::filesystem::exists(file_ + ".tmp"));
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 1800);
  EXPECT_TRUE(store.GetBool(u"Resize"));
  EXPECT_EQ(store.GetString(u"SpiDir"), SharedString(u"./spi/"));
}

TEST_F(ConfigStoreTest, TheFileWinsOverDefaultsAndKeepsWhatItDoesNotKnow) {
  Write(
      Utf16Le(u"Interval(sec) = 60\r\nFutureKey = kept\r\nImageDir = D:\\a = b\\\r\n"
              u"Resize=false\r\n\r\nSharp = true\nSharp = false\rSuspend = true"));
  ConfigStore store = Store();
  store.LoadWithDefaults();
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 60);
  EXPECT_EQ(store.GetString(u"FutureKey"), SharedString(u"kept"));
  // Split at the first " = " only.
  EXPECT_EQ(store.GetString(u"ImageDir"), SharedString(u"D:\\a = b\\"));
  // No spaces around '=': not an entry, the default holds.
  EXPECT_TRUE(store.GetBool(u"Resize"));
  EXPECT_EQ(store.Entries().count(u"Resize=false"), 0u);
  // Any line ending; the later of two lines wins.
  EXPECT_FALSE(store.GetBool(u"Sharp"));
  EXPECT_TRUE(store.GetBool(u"Suspend"));

  store.SetString(u"ImageDir", u"E:\\x = y\\");
  ASSERT_TRUE(store.Save());
  ConfigStore again = Store();
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.GetString(u"FutureKey"), SharedString(u"kept"));
  EXPECT_EQ(again.GetString(u"ImageDir"), SharedString(u"E:\\x = y\\"));
}

TEST_F(ConfigStoreTest, FilesInEveryEncodingAreReadAndRewrittenAsUtf16) {
  const SharedString folder(u"C:\\壁紙\\");
  // The system's narrow encoding, without a byte-order mark.
  Write(Narrow(u"ImageDir = " + folder + u"\r\n"));
  ConfigStore store = Store();
  ASSERT_TRUE(store.Load());
  EXPECT_EQ(store.GetString(u"ImageDir"), folder);
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(Contents(), Utf16Le(u"ImageDir = " + folder.Str() + u"\r\n"));

  // Big-endian UTF-16 with its mark.
  std::string big = "\xFE\xFF";
  for (char16_t unit : u"Sharp = true") {
    if (!unit) break;
    big += static_cast<char>(unit >> 8);
    big += static_cast<char>(unit & 0xFF);
  }
  Write(big);
  ConfigStore other = Store();
  ASSERT_TRUE(other.Load());
  EXPECT_TRUE(other.GetBool(u"Sharp"));
}

TEST_F(ConfigStoreTest, GettersReadTheirTypeOrFailNamingTheKey) {
  ConfigStore store = Store();
  store.SetString(u"Interval(sec)", u"10 apples");
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 10);
  store.SetString(u"Interval(sec)", u"  -5");
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), -5);
  store.SetString(u"Interval(sec)", u"apples");
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 0);
  store.SetString(u"Interval(sec)", u"99999999999");
  EXPECT_EQ(store.GetInt(u"Interval(sec)"), 2147483647);
  store.SetInt(u"ResizeAlignH", -2);
  EXPECT_EQ(store.GetString(u"ResizeAlignH"), SharedString(u"-2"));

  auto expect_failure = [&](auto read, const char16_t* text) {
    try {
      read();
      ADD_FAILURE() << Narrow(text);
    } catch (const Orvex::RuntimeException& e) {
      EXPECT_EQ(std::string(e.what()), Narrow(text));
    }
  };
  store.SetString(u"Interval(sec)", u"");
  expect_failure([&] { store.GetInt(u"Interval(sec)"); },
                 u"コンフィグデータ 'Interval(sec)' (数値)の読み込みに失敗しました");
  expect_failure([&] { store.GetInt(u"Missing"); },
                 u"コンフィグデータ 'Missing' (数値)の読み込みに失敗しました");
  store.SetString(u"Suspend", u"True");
  expect_failure([&] { store.GetBool(u"Suspend"); },
                 u"コンフィグデータ 'Suspend' (真偽値)の読み込みに失敗しました");
  expect_failure([&] { store.GetString(u"Missing"); },
                 u"コンフィグデータ 'Missing' の読み込みに失敗しました");
  store.SetBool(u"Suspend", true);
  EXPECT_TRUE(store.GetBool(u"Suspend"));
}

TEST_F(ConfigStoreTest, TheOlderClearTypeKeyIsTakenOver) {
  Write(Utf16Le(u"Cleartype = true\r\n"));
  // Where the executable has no extension, the file's lock and the outer
  // lock have one name; taking it twice must not wait for ourselves.
  ConfigStore store(FromUtf8(file_), FromUtf8(file_));
  store.LoadWithDefaults();
  EXPECT_TRUE(store.GetBool(u"ClearType"));
  EXPECT_EQ(store.Entries().count(u"Cleartype"), 0u);

  // Renaming a key that is not there changes nothing.
  ConfigStore plain = Store();
  plain.SetString(u"ClearType", u"false");
  plain.RenameKey(u"Cleartype", u"ClearType");
  EXPECT_EQ(plain.GetString(u"ClearType"), SharedString(u"false"));
}

TEST_F(ConfigStoreTest, AFailedSaveLeavesTheFileAsItWas) {
  Write(Utf16Le(u"Sharp = true\r\n"));
  // The temporary file's name is taken by a folder: nothing can be written.
  std::filesystem::create_directories(file_ + ".tmp/inside");
  ConfigStore store = Store();
  store.SetBool(u"Sharp", false);
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(Contents(), Utf16Le(u"Sharp = true\r\n"));
  EXPECT_TRUE(std::filesystem::exists(file_ + ".tmp/inside"));
}

// A text editor does not take the settings lock and may rewrite the file
// between a change's read and its save (here: it had written only the first
// half when we read). The change lands on the file as the editor left it,
// with or without defaults; an editor that never stops does not keep it
// from being saved.
TEST_F(ConfigStoreTest, AChangeLandsOnTheFileAsAnEditorLeftIt) {
  const std::string half = "Interval(sec) = 60\r\nSuspend = false\r\n";
  const std::string whole = half + "Resize = false\r\nResizeAlignH = 2\r\n";
  for (const ConfigStore::Base base : {ConfigStore::Base::kFile, ConfigStore::Base::kDefaults}) {
    Write(half);
    int runs = 0;
    ConfigStore store = Store();
    EXPECT_TRUE(store.Change(base, [&](ConfigStore& now) {
      if (runs++ == 0) Write(whole);
      now.SetBool(u"Suspend", true);
    }));
    EXPECT_EQ(runs, 2);
    ConfigStore saved = Store();
    ASSERT_TRUE(saved.Load());
    EXPECT_TRUE(saved.GetBool(u"Suspend"));
    EXPECT_FALSE(saved.GetBool(u"Resize"));
    EXPECT_EQ(saved.GetInt(u"ResizeAlignH"), 2);
    EXPECT_EQ(saved.GetInt(u"Interval(sec)"), 60);
    EXPECT_EQ(saved.Entries().count(u"SpiDir"), base == ConfigStore::Base::kDefaults ? 1u : 0u);
    EXPECT_EQ(store.Entries(), saved.Entries());
  }

  int runs = 0;
  EXPECT_TRUE(Store().Change(ConfigStore::Base::kFile, [&](ConfigStore& now) {
    Write(whole + "Editor = " + std::to_string(runs++) + "\r\n");
    now.SetInt(u"Interval(sec)", 90);
  }));
  EXPECT_EQ(runs, 5);
  ConfigStore saved = Store();
  ASSERT_TRUE(saved.Load());
  EXPECT_EQ(saved.GetInt(u"Interval(sec)"), 90);
  EXPECT_FALSE(saved.GetBool(u"Resize"));
}

// An editor still saving in place: the change waits a moment for the rest
// of the file rather than failing on the half it found.
TEST_F(ConfigStoreTest, AChangeWaitsForTheRestOfAFileBeingWritten) {
  const std::string whole = "Interval(sec) = 60\r\nResize = false\r\nSuspend = false\r\n";
  Write(whole.substr(0, whole.size() / 2));
  std::thread editor([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Write(whole);
  });
  bool applied = false;
  try {
    applied = Store().Change(ConfigStore::Base::kFile, [](ConfigStore& now) {
      if (!now.GetBool(u"Suspend")) now.SetBool(u"Suspend", true);
    });
  } catch (const Orvex::RuntimeException&) {
  }
  editor.join();
  EXPECT_TRUE(applied);
  ConfigStore saved = Store();
  ASSERT_TRUE(saved.Load());
  EXPECT_TRUE(saved.GetBool(u"Suspend"));
  EXPECT_FALSE(saved.GetBool(u"Resize"));
}

// A settings file that is there but cannot be read is reported and kept,
// never replaced by one with little more than the change in it.
TEST_F(ConfigStoreTest, AChangeNeverReplacesAFileItCannotRead) {
  std::filesystem::create_directories(file_ + "/inside");
  for (const ConfigStore::Base base : {ConfigStore::Base::kFile, ConfigStore::Base::kDefaults}) {
    bool ran = false;
    EXPECT_THROW(Store().Change(base, [&](ConfigStore&) { ran = true; }), Orvex::RuntimeException);
    EXPECT_FALSE(ran);
    EXPECT_TRUE(std::filesystem::exists(file_ + "/inside"));
  }
}

// True when the bytes are a whole settings file as we write it.
bool IsWholeFile(const std::string& bytes) {
  if (bytes.size() < 2 || bytes.size() % 2 || bytes.substr(0, 2) != "\xFF\xFE") return false;
  std::u16string text;
  for (size_t k = 2; k + 1 < bytes.size(); k += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[k]) |
                                  static_cast<unsigned char>(bytes[k + 1]) << 8);
  }
  ConfigStore::Map entries;
  ConfigStore::Parse(text, entries);
  return text.ends_with(u"\r\n") && entries.size() >= 15;
}

// Another process keeps loading and saving the file while we do the same,
// and a third party reads it all the time without any lock: every reading
// is a whole file.
TEST_F(ConfigStoreTest, ConcurrentProcessesNeverSeeAPartialFile) {
  ConfigStore first = Store();
  first.LoadWithDefaults();
  Orvex::ProcessStartInfo info;
  info.file = Orvex::Testing::ProgramBesideTests(u"config_store_helper");
  info.use_shell = false;
  info.parameters = FromUtf8("\"" + file_ + "\" \"" + folder_ + "/Pelmora.exe.cfg\" 3000");
  std::shared_ptr<Orvex::Process> helper = Orvex::StartProcess(info);
  ASSERT_TRUE(helper);

  std::atomic<bool> stop{false};
  std::atomic<int> reads{0}, partial{0};
  std::thread reader([&] {
    while (!stop) {
      // Windows may refuse to open a file in the instant it is replaced.
      std::ifstream in(file_, std::ios::binary);
      if (!in) continue;
      std::stringstream raw;
      raw << in.rdbuf();
      ++reads;
      if (!IsWholeFile(raw.str())) ++partial;
    }
  });
  int saves = 0;
  for (int i = 0; !helper->WaitForExit(0); ++i) {
    ConfigStore store = Store();
    store.LoadWithDefaults();
    store.SetInt(u"TestCounter", i);
    if (store.Save()) ++saves;
  }
  stop = true;
  reader.join();
  EXPECT_EQ(helper->ExitCode(), 0);
  EXPECT_GT(saves, 0);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(partial, 0) << "of " << reads << " readings";
}

}  // namespace
