#include "foundation/random.h"

#include <memory>

#include "foundation/dll.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <wincrypt.h>
// clang-format on

namespace Orvex {

struct CCryptRandom::Provider {
  CDll advapi{u"ADVAPI32.DLL", true};
  HCRYPTPROV handle = 0;
};

CCryptRandom& CCryptRandom::Instance() {
  static CCryptRandom instance;
  return instance;
}

CCryptRandom::CCryptRandom() {
  try {
    auto provider = std::make_unique<Provider>();
    typedef BOOL WINAPI Acquire(HCRYPTPROV*, LPCWSTR, LPCWSTR, DWORD, DWORD);
    Acquire* acquire = provider->advapi.GetFunction<Acquire>("CryptAcquireContextW");
    // The default key container need not exist (a new user profile has
    // none), and then only a context without keys is to be had; random
    // numbers need no keys.
    if (acquire(&provider->handle, nullptr, nullptr, PROV_RSA_FULL, 0) ||
        acquire(&provider->handle, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
      provider_ = provider.release();
    }
  } catch (...) {
    // No library or no entry point: a source without a provider.
  }
}

CCryptRandom::~CCryptRandom() {
  if (!provider_) return;
  try {
    typedef BOOL WINAPI Release(HCRYPTPROV, DWORD);
    provider_->advapi.GetFunction<Release>("CryptReleaseContext")(provider_->handle, 0);
  } catch (...) {
  }
  delete provider_;
}

bool CCryptRandom::Generate(void* buffer, size_t length) {
  if (!provider_) return false;
  typedef BOOL WINAPI GenRandom(HCRYPTPROV, DWORD, BYTE*);
  return provider_->advapi.GetFunction<GenRandom>("CryptGenRandom")(
             provider_->handle, static_cast<DWORD>(length), static_cast<BYTE*>(buffer)) != 0;
}

namespace Detail {

SeedSources SystemSeedSources() {
  const DWORD t0 = GetTickCount();
  SeedSources sources;
  sources.fill = [](void* buffer, size_t length) {
    try {
      return CCryptRandom::Instance().Generate(buffer, length);
    } catch (...) {
      return false;
    }
  };
  sources.mix = [t0] {
    Sleep(0);
    SeedMix mix;
    POINT cursor = {};
    if (GetCursorPos(&cursor)) {
      mix.cursor_x = static_cast<std::uint32_t>(cursor.x);
      mix.cursor_y = static_cast<std::uint32_t>(cursor.y);
    }
    mix.process_id = GetCurrentProcessId();
    mix.thread_id = GetCurrentThreadId();
    mix.tick = GetTickCount();
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter))
      mix.counter = static_cast<std::uint64_t>(counter.QuadPart);
    mix.elapsed = GetTickCount() - t0;
    return mix;
  };
  return sources;
}

}  // namespace Detail
}  // namespace Orvex
