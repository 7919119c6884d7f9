#include "app/hotkeys.h"

#include <array>
#include <string_view>
#include <utility>

#include "app/config_keys.h"

using Orvex::SharedString;

namespace {

struct KeyName {
  const char* name;  // as written in the settings, compared without case
  uint16_t windows_key;
  const char* x_keysym;
  // Whether the key may be grabbed alone: it types nothing, so no program
  // loses a key its user writes with.
  bool alone;
};

// The keys besides letters, digits and F1-F24, which are made up below.
constexpr KeyName kNamedKeys[] = {
    {"Left", 0x25, "Left", false},
    {"Right", 0x27, "Right", false},
    {"Up", 0x26, "Up", false},
    {"Down", 0x28, "Down", false},
    {"Home", 0x24, "Home", false},
    {"End", 0x23, "End", false},
    {"PageUp", 0x21, "Prior", false},
    {"PageDown", 0x22, "Next", false},
    {"Insert", 0x2D, "Insert", false},
    {"Delete", 0x2E, "Delete", false},
    {"Space", 0x20, "space", false},
    {"Tab", 0x09, "Tab", false},
    {"Enter", 0x0D, "Return", false},
    {"Escape", 0x1B, "Escape", false},
    {"Backspace", 0x08, "BackSpace", false},
    {"Pause", 0x13, "Pause", true},
    {"PrintScreen", 0x2C, "Print", true},
    {"ScrollLock", 0x91, "Scroll_Lock", true},
    {"MediaNext", 0xB0, "XF86AudioNext", true},
    {"MediaPrevious", 0xB1, "XF86AudioPrev", true},
    {"MediaPlayPause", 0xB3, "XF86AudioPlay", true},
};

constexpr std::pair<const char*, uint32_t> kModifiers[] = {
    {"Ctrl", kHotKeyCtrl},   {"Control", kHotKeyCtrl}, {"Alt", kHotKeyAlt},
    {"Shift", kHotKeyShift}, {"Win", kHotKeyWin},      {"Super", kHotKeyWin},
};

char Lower(char16_t c) { return static_cast<char>(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c); }

bool SameName(std::u16string_view text, std::string_view name) {
  if (text.size() != name.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] > 0x7F || Lower(text[i]) != Lower(static_cast<char16_t>(name[i]))) return false;
  }
  return true;
}

// The key of a name; alone says whether it may go without a modifier.
std::optional<HotKey> FindKey(std::u16string_view name, bool& alone) {
  HotKey key;
  alone = false;
  if (name.size() == 1) {
    const char c = Lower(name[0]);
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      key.windows_key = static_cast<uint16_t>(c >= 'a' ? c - 'a' + 'A' : c);
      key.x_keysym = std::string(1, c);
      return key;
    }
  }
  if (name.size() >= 2 && name.size() <= 3 && Lower(name[0]) == 'f') {
    int number = 0;
    for (char16_t c : name.substr(1)) {
      if (c < u'0' || c > u'9') return std::nullopt;
      number = number * 10 + (c - u'0');
    }
    if (number < 1 || number > 24 || name[1] == u'0') return std::nullopt;
    key.windows_key = static_cast<uint16_t>(0x70 + number - 1);
    key.x_keysym = "F" + std::to_string(number);
    alone = true;
    return key;
  }
  for (const KeyName& entry : kNamedKeys) {
    if (SameName(name, entry.name)) {
      key.windows_key = entry.windows_key;
      key.x_keysym = entry.x_keysym;
      alone = entry.alone;
      return key;
    }
  }
  return std::nullopt;
}

[[noreturn]] void Refuse(const SharedString& text, const char16_t* why) {
  throw HotKeyError(SharedString::Format(
      u"'%s' はホットキーとして使えません（%s）。\n"
      u"Ctrl・Alt・Shift・Win とキーの名前を + でつないで、Ctrl+Alt+Right のように書いてください。",
      text.CStr(), why));
}

struct Setting {
  const char16_t* key;
  HotKeyAction action;
};

constexpr Setting kSettings[] = {
    {config_key::kHotKeyNext, HotKeyAction::kNext},
    {config_key::kHotKeyPrevious, HotKeyAction::kPrevious},
    {config_key::kHotKeyExclude, HotKeyAction::kExclude},
    {config_key::kHotKeySuspend, HotKeyAction::kSuspendOrResume},
};

}  // namespace

std::optional<HotKey> ParseHotKey(const SharedString& text) {
  const SharedString trimmed = text.Trim();
  if (trimmed.IsEmpty()) return std::nullopt;
  const std::vector<SharedString> parts = trimmed.Split(u"+");
  HotKey key;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const SharedString part = parts[i].Trim();
    uint32_t bit = 0;
    for (const auto& [name, value] : kModifiers) {
      if (SameName(part.View(), name)) bit = value;
    }
    if (bit == 0) {
      Refuse(text, (u"'" + part + u"' は Ctrl・Alt・Shift・Win のどれでもありません").CStr());
    }
    if (key.modifiers & bit) Refuse(text, (u"'" + part + u"' が二度あります").CStr());
    key.modifiers |= bit;
  }
  const SharedString name = parts.back().Trim();
  if (name.IsEmpty()) Refuse(text, u"キーがありません");
  bool alone = false;
  const std::optional<HotKey> found = FindKey(name.View(), alone);
  if (!found) Refuse(text, (u"'" + name + u"' というキーはありません").CStr());
  // Shift alone still types: the key would be lost to every program.
  if (!alone && (key.modifiers & ~kHotKeyShift) == 0) {
    Refuse(text, u"このキーには Ctrl・Alt・Win のどれかが要ります");
  }
  key.windows_key = found->windows_key;
  key.x_keysym = found->x_keysym;
  return key;
}

HotKeys::HotKeys(IHotKeyGrabber& grabber, IDesktop& desktop)
    : grabber_(grabber), desktop_(desktop) {}

HotKeys::~HotKeys() {
  if (!grabbed_.empty()) grabber_.ReleaseAll();
}

void HotKeys::Apply(const ConfigStore& store) {
  if (!grabbed_.empty()) grabber_.ReleaseAll();
  grabbed_.clear();
  for (const Setting& setting : kSettings) {
    const SharedString value = store.GetStringOr(setting.key, SharedString());
    // Once per value: a box at every reload of the settings would nag
    // about a key the user has been told of.
    const bool first_time =
        reported_.insert(std::u16string(setting.key) + u"=" + value.Str()).second;
    std::optional<HotKey> key;
    try {
      key = ParseHotKey(value);
    } catch (const HotKeyError& error) {
      if (first_time)
        desktop_.ShowError(u"エラー", SharedString(setting.key) + u": " + error.Text());
      continue;
    }
    if (!key) continue;
    if (!grabber_.Grab(setting.action, *key)) {
      if (first_time) {
        desktop_.ShowError(u"エラー",
                           SharedString::Format(u"ホットキー '%s' (%s) は他のプログラムが使って"
                                                u"いるため使えません。",
                                                value.Trim().CStr(), setting.key));
      }
      continue;
    }
    grabbed_[setting.action] = *key;
  }
}
