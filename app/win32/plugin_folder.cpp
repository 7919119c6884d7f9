#include "app/config_store.h"
#include "foundation/file_system.h"
#include "foundation/win32/registry.h"

Orvex::SharedString RegisteredPluginFolder() {
  const Orvex::SharedString key(u"Software\\Tarnwick\\Susie\\InstallRoot");
  if (!Orvex::KeyExists(HKEY_CURRENT_USER, key)) return {};
  Orvex::CRegistryKey registry;
  registry.Open(HKEY_CURRENT_USER, key, false);
  const Orvex::SharedString folder = registry.GetString(u"");
  return folder.IsEmpty() ? folder : Orvex::EnsureTrailingSeparator(folder);
}
