#include "app/user_paths.h"

#include "foundation/file_system.h"

Orvex::SharedString SettingsFilePath() {
  return Orvex::ChangeExtension(Orvex::GetExecutablePath(), u"cfg");
}

Orvex::SharedString SettingsLockName() { return Orvex::GetExecutablePath() + u".cfg"; }

Orvex::SharedString DefaultImageFolder() { return u"./image/"; }
