// Edits a settings file in a loop, as a second process would, for the tests.
//   config_store_helper FILE LOCK MILLISECONDS
// Exits with 0 when at least one save succeeded and every load read the
// whole file.
#include <chrono>
#include <cstdlib>

#include "app/config_store.h"
#include "foundation/encoding.h"

int main(int argc, char** argv) {
  if (argc != 4) return 100;
  const Orvex::Encoding& encoding = Orvex::GetDefaultEncoding();
  const auto file = encoding.ToWide(argv[1]);
  const auto lock = encoding.ToWide(argv[2]);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(argv[3]));
  int saved = 0;
  for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
    ConfigStore store(file, lock);
    store.LoadWithDefaults();
    if (store.Entries().size() < 15) return 2;
    store.SetInt(u"HelperCounter", i);
    if (store.Save()) ++saved;
  }
  return saved > 0 ? 0 : 3;
}
