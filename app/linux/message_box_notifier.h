#pragma once

#include "foundation/error_reporting.h"

// The program's boxes as Qt message boxes, once the application object
// exists; before that, and after it, the platform's notifier (standard
// error) speaks for it.
class MessageBoxNotifier : public Orvex::IUserNotifier {
 public:
  MessageBoxNotifier();
  ~MessageBoxNotifier() override;

  int Notify(Orvex::WindowHandle owner, unsigned flags, const Orvex::SharedString& caption,
             const Orvex::SharedString& text) override;

 private:
  Orvex::IUserNotifier* previous_;
};
