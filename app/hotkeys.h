#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/config_store.h"
#include "app/desktop.h"
#include "foundation/shared_string.h"

// What a hotkey of the settings does.
enum class HotKeyAction : int {
  kNext = 1,
  kPrevious = 2,
  kExclude = 3,
  // Suspends a running program, resumes a suspended one.
  kSuspendOrResume = 4,
};

// Modifier bits of a HotKey; each system maps them to its own.
inline constexpr uint32_t kHotKeyCtrl = 1;
inline constexpr uint32_t kHotKeyAlt = 2;
inline constexpr uint32_t kHotKeyShift = 4;
inline constexpr uint32_t kHotKeyWin = 8;

// A key with its modifiers, as each system names the key: the Windows
// virtual-key code and the X keysym's name.
struct HotKey {
  uint32_t modifiers = 0;
  uint16_t windows_key = 0;
  std::string x_keysym;

  bool operator==(const HotKey&) const = default;
};

// Why a text is not a hotkey, in words for the user.
class HotKeyError : public std::exception {
 public:
  explicit HotKeyError(Orvex::SharedString text) : text_(std::move(text)) {}
  const Orvex::SharedString& Text() const { return text_; }
  const char* what() const noexcept override { return "not a hotkey"; }

 private:
  Orvex::SharedString text_;
};

// Reads a hotkey written as modifiers and a key joined by '+', such as
// "Ctrl+Alt+Right" (case and spaces around '+' do not matter). Nothing for
// an empty text. Throws HotKeyError with a text that says how to write
// one when the text is not a hotkey: an unknown name, a modifier twice, no
// key, or a key that types (a letter, a digit, Space, an arrow...) without
// Ctrl, Alt or Win, which would take that key from every program.
std::optional<HotKey> ParseHotKey(const Orvex::SharedString& text);

// Grabs and releases system-wide keys for the resident program; each
// system's tray window implements it.
class IHotKeyGrabber {
 public:
  IHotKeyGrabber() = default;
  IHotKeyGrabber(const IHotKeyGrabber&) = delete;
  IHotKeyGrabber& operator=(const IHotKeyGrabber&) = delete;
  virtual ~IHotKeyGrabber() = default;

  // Grabs the key under the action's number; false when another program
  // holds it.
  virtual bool Grab(HotKeyAction action, const HotKey& key) = 0;
  virtual void ReleaseAll() = 0;
};

// The hotkeys of the settings (HotKeyNext, HotKeyPrevious, HotKeyExclude,
// HotKeySuspend), grabbed while the resident program runs.
class HotKeys {
 public:
  HotKeys(IHotKeyGrabber& grabber, IDesktop& desktop);
  HotKeys(const HotKeys&) = delete;
  HotKeys& operator=(const HotKeys&) = delete;
  ~HotKeys();

  // Grabs the keys the settings name now, the earlier ones released. A
  // value that is not a hotkey, or whose key another program holds, gives
  // one error box the first time that value is met, and is left out; the
  // others still work.
  void Apply(const ConfigStore& store);
  // The settings' keys by action, as last applied.
  const std::map<HotKeyAction, HotKey>& Grabbed() const { return grabbed_; }

 private:
  IHotKeyGrabber& grabber_;
  IDesktop& desktop_;
  std::map<HotKeyAction, HotKey> grabbed_;
  // "setting=value" of every value already reported.
  std::set<std::u16string> reported_;
};
