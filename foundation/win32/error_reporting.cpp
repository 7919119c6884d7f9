#include "foundation/error_reporting.h"

#include <string>

#include "foundation/encoding.h"
#include "foundation/win32/win32.h"

namespace Orvex {
namespace {

static_assert(kMbIconHand == MB_ICONHAND);
static_assert(kMbIconInformation == MB_ICONINFORMATION);
static_assert(kMbSystemModal == MB_SYSTEMMODAL);
static_assert(kMbSetForeground == MB_SETFOREGROUND);
static_assert(kMbTopmost == MB_TOPMOST);
static_assert(kIdOk == IDOK);

constexpr int kMaxQuitMessages = 16;

class MessageBoxNotifier : public IUserNotifier {
 public:
  int Notify(WindowHandle owner, unsigned flags, const SharedString& caption,
             const SharedString& text) override {
    const HWND window = static_cast<HWND>(owner);
    if (IsNtPlatform()) return MessageBoxW(window, Wide(text), Wide(caption), flags);
    const Encoding& encoding = GetDefaultEncoding();
    const std::string narrow_text = encoding.ToMultiByte(text);
    const std::string narrow_caption = encoding.ToMultiByte(caption);
    return MessageBoxA(window, narrow_text.c_str(), narrow_caption.c_str(), flags);
  }
};

}  // namespace

IUserNotifier& DefaultUserNotifier() {
  static MessageBoxNotifier notifier;
  return notifier;
}

int DrainQuitMessages() {
  int removed = 0;
  MSG message;
  while (removed < kMaxQuitMessages &&
         PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    ++removed;
  }
  return removed;
}

}  // namespace Orvex
