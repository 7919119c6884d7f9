#include "app/hotkeys.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/fake_desktop.h"
#include "foundation/test_folder.h"

namespace {

using Orvex::SharedString;

HotKey Key(uint32_t modifiers, uint16_t windows_key, const char* x_keysym) {
  return HotKey{modifiers, windows_key, x_keysym};
}

TEST(ParseHotKeyTest, ReadsModifiersAndKeysWhateverTheirCase) {
  EXPECT_EQ(ParseHotKey(u"Ctrl+Alt+Right"), Key(kHotKeyCtrl | kHotKeyAlt, 0x27, "Right"));
  EXPECT_EQ(ParseHotKey(u"  shift + WIN + pageup "), Key(kHotKeyShift | kHotKeyWin, 0x21, "Prior"));
  EXPECT_EQ(ParseHotKey(u"Control+Super+n"), Key(kHotKeyCtrl | kHotKeyWin, 'N', "n"));
  EXPECT_EQ(ParseHotKey(u"Alt+7"), Key(kHotKeyAlt, '7', "7"));
  EXPECT_EQ(ParseHotKey(u"F12"), Key(0, 0x7B, "F12"));
  EXPECT_EQ(ParseHotKey(u"Shift+F1"), Key(kHotKeyShift, 0x70, "F1"));
  EXPECT_EQ(ParseHotKey(u"MediaNext"), Key(0, 0xB0, "XF86AudioNext"));
  EXPECT_EQ(ParseHotKey(u""), std::nullopt);
  EXPECT_EQ(ParseHotKey(u"   "), std::nullopt);
}

TEST(ParseHotKeyTest, RefusesWhatIsNoHotKeyAndSaysWhy) {
  const struct {
    const char16_t* text;
    const char16_t* reason;
  } cases[] = {
      {u"Ctrl+Foo", u"'Foo' というキーはありません"},
      {u"Hyper+A", u"'Hyper' は Ctrl・Alt・Shift・Win のどれでもありません"},
      {u"Ctrl+ctrl+A", u"'ctrl' が二度あります"},
      {u"Ctrl+Alt+", u"キーがありません"},
      {u"A", u"このキーには Ctrl・Alt・Win のどれかが要ります"},
      {u"Shift+Left", u"このキーには Ctrl・Alt・Win のどれかが要ります"},
      {u"F0", u"'F0' というキーはありません"},
      {u"Ctrl+F25", u"'F25' というキーはありません"},
      {u"Ctrl+F01", u"'F01' というキーはありません"},
      {u"Ctrl+Ａ", u"'Ａ' というキーはありません"},
  };
  for (const auto& c : cases) {
    try {
      ParseHotKey(c.text);
      ADD_FAILURE() << Orvex::ToUtf8(c.text) << " was taken";
    } catch (const HotKeyError& error) {
      const SharedString text = error.Text();
      EXPECT_TRUE(
          text.StartsWith((SharedString(u"'") + c.text + u"' はホットキーとして使えません").View()))
          << Orvex::ToUtf8(text);
      EXPECT_NE(text.Find(c.reason), SharedString::npos) << Orvex::ToUtf8(text);
      EXPECT_NE(text.Find(u"Ctrl+Alt+Right のように"), SharedString::npos);
    }
  }
}

class FakeGrabber : public IHotKeyGrabber {
 public:
  bool Grab(HotKeyAction action, const HotKey& key) override {
    if (held_elsewhere.count(key.x_keysym)) return false;
    grabbed.push_back(action);
    return true;
  }
  void ReleaseAll() override {
    grabbed.clear();
    ++releases;
  }

  std::set<std::string> held_elsewhere;
  std::vector<HotKeyAction> grabbed;
  int releases = 0;
};

class HotKeysTest : public ::testing::Test {
 protected:
  ConfigStore Store(std::initializer_list<std::pair<const char16_t*, const char16_t*>> values) {
    ConfigStore store(temp_ / u"settings.cfg", u"pelmora-hotkeys-test");
    for (const auto& [key, value] : values) store.SetString(key, value);
    return store;
  }

  Orvex::Testing::TestFolder temp_;
  FakeGrabber grabber_;
  Orvex::Testing::FakeDesktop desktop_;
};

TEST_F(HotKeysTest, GrabsTheSettingsKeysAndReportsEachBadValueOnce) {
  HotKeys keys(grabber_, desktop_);
  keys.Apply(Store({}));
  EXPECT_TRUE(grabber_.grabbed.empty());
  EXPECT_TRUE(desktop_.errors.empty());

  grabber_.held_elsewhere = {"Left"};
  const ConfigStore store = Store({{u"HotKeyNext", u"Ctrl+Alt+Right"},
                                   {u"HotKeyPrevious", u"Ctrl+Alt+Left"},
                                   {u"HotKeyExclude", u"Ctrl+Alt+Nope"},
                                   {u"HotKeySuspend", u""}});
  keys.Apply(store);
  EXPECT_EQ(grabber_.grabbed, std::vector<HotKeyAction>{HotKeyAction::kNext});
  ASSERT_EQ(desktop_.errors.size(), 2u);
  EXPECT_EQ(desktop_.errors[0],
            SharedString(u"エラー|ホットキー 'Ctrl+Alt+Left' (HotKeyPrevious) は他のプログラム"
                         u"が使っているため使えません。"));
  EXPECT_TRUE(desktop_.errors[1].StartsWith(
      u"エラー|HotKeyExclude: 'Ctrl+Alt+Nope' はホットキーとして使えません"));

  // A reload with the same values: the keys grabbed anew, no box again.
  keys.Apply(store);
  EXPECT_EQ(grabber_.grabbed, std::vector<HotKeyAction>{HotKeyAction::kNext});
  EXPECT_EQ(desktop_.errors.size(), 2u);
  EXPECT_EQ(keys.Grabbed().size(), 1u);

  // Another value is news again; a key given up is released.
  grabber_.held_elsewhere.clear();
  keys.Apply(Store({{u"HotKeyPrevious", u"Ctrl+Alt+Left"}, {u"HotKeyExclude", u"Ctrl+Bad"}}));
  EXPECT_EQ(grabber_.grabbed, std::vector<HotKeyAction>{HotKeyAction::kPrevious});
  ASSERT_EQ(desktop_.errors.size(), 3u);
  EXPECT_TRUE(desktop_.errors[2].StartsWith(u"エラー|HotKeyExclude: 'Ctrl+Bad'"));
}

}  // namespace
