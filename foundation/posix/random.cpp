#include "foundation/random.h"

#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

namespace Orvex {

struct CCryptRandom::Provider {};

CCryptRandom& CCryptRandom::Instance() {
  static CCryptRandom instance;
  return instance;
}

CCryptRandom::CCryptRandom() = default;
CCryptRandom::~CCryptRandom() = default;

bool CCryptRandom::Generate(void* buffer, size_t length) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    ssize_t n = getrandom(bytes, length, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

namespace Detail {
namespace {
std::uint32_t TickMilliseconds() {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}
}  // namespace

SeedSources SystemSeedSources() {
  const std::uint32_t t0 = TickMilliseconds();
  SeedSources sources;
  sources.fill = [](void* buffer, size_t length) {
    return CCryptRandom::Instance().Generate(buffer, length);
  };
  sources.mix = [t0] {
    std::this_thread::yield();
    SeedMix mix;  // no cursor without a window system
    mix.process_id = static_cast<std::uint32_t>(getpid());
    mix.thread_id =
        static_cast<std::uint32_t>(std::hash<std::thread::id>()(std::this_thread::get_id()));
    mix.tick = TickMilliseconds();
    mix.counter = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    mix.elapsed = TickMilliseconds() - t0;
    return mix;
  };
  return sources;
}

}  // namespace Detail
}  // namespace Orvex
