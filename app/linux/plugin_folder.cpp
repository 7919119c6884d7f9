#include "app/config_store.h"

// No system-wide registration of plug-in folders exists here.
Orvex::SharedString RegisteredPluginFolder() { return {}; }
