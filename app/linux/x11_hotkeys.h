#pragma once

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "app/hotkeys.h"

class QSocketNotifier;
struct _XDisplay;

// The hotkeys of the settings on an X server: each key is grabbed on the
// root window, on a connection of its own, so that its presses reach this
// program whichever window has the focus. Caps Lock and Num Lock do not
// change what a key means, so every key is grabbed with and without them.
class X11HotKeyGrabber : public IHotKeyGrabber {
 public:
  // A grabber on the display of $DISPLAY; nullptr when it cannot be
  // reached. Its presses are read from the Qt event loop.
  static std::unique_ptr<X11HotKeyGrabber> Open();
  ~X11HotKeyGrabber() override;

  // Called with the action of each press of a grabbed key.
  void OnPressed(std::function<void(HotKeyAction)> pressed) { pressed_ = std::move(pressed); }

  bool Grab(HotKeyAction action, const HotKey& key) override;
  void ReleaseAll() override;

 private:
  explicit X11HotKeyGrabber(_XDisplay* display);
  void ReadEvents();

  struct Grabbed {
    unsigned keycode;
    unsigned modifiers;
    HotKeyAction action;
  };

  _XDisplay* display_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(HotKeyAction)> pressed_;
  std::vector<Grabbed> grabbed_;
  // Keys pressed and not yet released: a key held down repeats its press,
  // which must not change the wallpaper over and over.
  std::set<unsigned> held_;
};
