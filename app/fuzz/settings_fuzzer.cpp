// libFuzzer target for the settings file: any bytes a user, an editor or a
// broken disk leaves in it must decode and parse without a crash, and what
// the program writes back must read the same again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/config_store.h"
#include "foundation/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  Orvex::DecodeText(data, size, text);
  ConfigStore::Map entries;
  ConfigStore::Parse(text, entries);

  // Saving what was read and reading it back gives the same entries: a
  // load-save cycle never changes or loses a setting.
  const Orvex::SharedString written = ConfigStore::Format(entries);
  ConfigStore::Map reread;
  ConfigStore::Parse(written.View(), reread);
  if (reread != entries) std::abort();
  return 0;
}
