#include "app/linux/x11_hotkeys.h"

#include <QSocketNotifier>

#include "app/linux/x11_error_trap.h"

// Last: Xlib's macros must not reach the headers above.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace {

// The states a grabbed key is also grabbed in: the lock keys add their bit
// to every press while they are on.
constexpr unsigned kLockVariants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};

unsigned XModifiers(uint32_t modifiers) {
  unsigned mask = 0;
  if (modifiers & kHotKeyCtrl) mask |= ControlMask;
  if (modifiers & kHotKeyAlt) mask |= Mod1Mask;
  if (modifiers & kHotKeyShift) mask |= ShiftMask;
  if (modifiers & kHotKeyWin) mask |= Mod4Mask;
  return mask;
}

}  // namespace

std::unique_ptr<X11HotKeyGrabber> X11HotKeyGrabber::Open() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return std::unique_ptr<X11HotKeyGrabber>(new X11HotKeyGrabber(display));
}

X11HotKeyGrabber::X11HotKeyGrabber(Display* display)
    : display_(display),
      notifier_(
          std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read)) {
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { ReadEvents(); });
  // Without it the server sends a release before every repeated press, and
  // a held key could not be told from one pressed again.
  XkbSetDetectableAutoRepeat(display_, True, nullptr);
}

X11HotKeyGrabber::~X11HotKeyGrabber() {
  notifier_.reset();
  // Closing the connection gives up its grabs too.
  XCloseDisplay(display_);
}

bool X11HotKeyGrabber::Grab(HotKeyAction action, const HotKey& key) {
  const KeySym keysym = XStringToKeysym(key.x_keysym.c_str());
  const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(display_, keysym);
  // A key this keyboard does not have cannot be pressed: nobody can use it.
  if (keycode == 0) return false;
  const unsigned modifiers = XModifiers(key.modifiers);
  const Window root = DefaultRootWindow(display_);
  bool taken = true;
  {
    // Another client's grab of the same key and modifiers is refused with
    // BadAccess, which only shows once the server has handled the request.
    X11ErrorTrap trap(display_);
    for (unsigned lock : kLockVariants) {
      XGrabKey(display_, keycode, modifiers | lock, root, False, GrabModeAsync, GrabModeAsync);
    }
    taken = trap.Clear();
    if (!taken) {
      // Not half a key: the variants that were granted go too.
      for (unsigned lock : kLockVariants) XUngrabKey(display_, keycode, modifiers | lock, root);
      trap.Clear();
    }
  }
  if (taken) grabbed_.push_back({keycode, modifiers, action});
  // The round trip may have read a press into Xlib's queue, where the
  // socket's notifier would not see it.
  ReadEvents();
  return taken;
}

void X11HotKeyGrabber::ReleaseAll() {
  const Window root = DefaultRootWindow(display_);
  for (const Grabbed& grabbed : grabbed_) {
    for (unsigned lock : kLockVariants) {
      XUngrabKey(display_, grabbed.keycode, grabbed.modifiers | lock, root);
    }
  }
  grabbed_.clear();
  // A release that comes after the ungrab never reaches us.
  held_.clear();
  XFlush(display_);
}

void X11HotKeyGrabber::ReadEvents() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == KeyRelease) held_.erase(event.xkey.keycode);
    if (event.type != KeyPress || !held_.insert(event.xkey.keycode).second) continue;
    const unsigned state = event.xkey.state & ~(LockMask | Mod2Mask);
    for (const Grabbed& grabbed : grabbed_) {
      if (grabbed.keycode == event.xkey.keycode && grabbed.modifiers == state) {
        if (pressed_) pressed_(grabbed.action);
        break;
      }
    }
  }
}
