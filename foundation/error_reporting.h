#pragma once

#include <exception>

#include "foundation/shared_string.h"

namespace Orvex {

// A window of the desktop, opaque to portable code (an HWND on Windows).
// Null stands for "no owner".
using WindowHandle = void*;

// Message-box style bits; the values are those of the Windows message box.
inline constexpr unsigned kMbIconHand = 0x10;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbSystemModal = 0x1000;
inline constexpr unsigned kMbSetForeground = 0x10000;
inline constexpr unsigned kMbTopmost = 0x40000;

// The style of every error box that shows an exception.
inline constexpr unsigned kExceptionBoxFlags =
    kMbIconInformation | kMbSystemModal | kMbSetForeground;

// The answer of a box that only offers OK.
inline constexpr int kIdOk = 1;

// Puts a message in front of the user and waits until it is acknowledged.
class IUserNotifier {
 public:
  IUserNotifier() = default;
  IUserNotifier(const IUserNotifier&) = delete;
  IUserNotifier& operator=(const IUserNotifier&) = delete;
  virtual ~IUserNotifier() = default;

  // Returns the button the user chose (kIdOk for a plain box).
  virtual int Notify(WindowHandle owner, unsigned flags, const SharedString& caption,
                     const SharedString& text) = 0;
};

// The notifier every box of the program goes through. On Windows the
// default is a real message box; elsewhere caption and text go to standard
// error unless the program installs a notifier of its own.
IUserNotifier& GetUserNotifier();

// Replaces the process-wide notifier and returns the one it replaces. Null
// puts the default back. The caller keeps ownership and keeps the notifier
// alive while it is installed (tests install one that records).
IUserNotifier* SetUserNotifier(IUserNotifier* notifier);

// The platform's own notifier.
IUserNotifier& DefaultUserNotifier();

// Removes quit requests already queued for the calling thread, at most 16,
// so that a box shown next is not closed at once by one of them. Stops at
// the first attempt that finds none; returns how many were removed.
int DrainQuitMessages();

// Shows text in a box owned by owner (null: unowned) and returns the box's
// answer.
int ShowMessage(WindowHandle owner, unsigned flags, const SharedString& caption,
                const SharedString& text);

// Shows what() of the exception, exactly as stored, as an error box: quit
// requests are drained first.
int ShowException(WindowHandle owner, const SharedString& caption, const std::exception& exception);

// How many error boxes (ShowException's, and ShowMessage's with the error
// icon) are open at this moment. Such a box runs an event loop of its own;
// what runs by itself (a timer) can ask this rather than report the same
// failure again in a box inside the box.
int OpenErrorBoxes();

// Whether this process has shown an error (an exception, or a box with the
// error icon): a start that did must not end as if all went well.
bool ErrorWasReported();
// The exit code of a start that ran to its end: 1 when it reported an
// error, else 0.
int ExitCodeOfStart();

}  // namespace Orvex
