// What the resident program holds between changes: a change needs tens of
// megabytes for a moment, and the program then waits for minutes. Read from
// the process's own private anonymous memory, so Linux only, and not under
// the sanitizers, whose allocator keeps freed memory on purpose.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/config_store.h"
#include "app/fake_desktop.h"
#include "app/wallpaper_cycle.h"
#include "codecs/image_loaders.h"
#include "codecs/loader_registry.h"
#include "codecs/test_images.h"
#include "foundation/test_folder.h"
#include "imaging/resample.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PELMORA_OWN_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define PELMORA_OWN_ALLOCATOR 0
#endif
#endif
#ifndef PELMORA_OWN_ALLOCATOR
#define PELMORA_OWN_ALLOCATOR 1
#endif

namespace {

using Orvex::PlaneSize;
using Orvex::SharedString;
using Orvex::Testing::FakeDesktop;
using Orvex::Testing::TestFolder;

constexpr int64_t kMiB = 1024 * 1024;

// RssAnon of /proc/self/status in bytes: the private pages the process has
// touched and not given back.
std::optional<int64_t> PrivateAnonymousBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("RssAnon:", 0) == 0) return std::stoll(line.substr(8)) * 1024;
  }
  return std::nullopt;
}

// A photograph-like JPEG: not one colour, so that every band of the decoder
// and the resampler has real work to do.
void WritePicture(const SharedString& path, int width, int height, int seed) {
  Orvex::Testing::Bytes samples(size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * 3; ++x) {
      samples[size_t(y) * width * 3 + x] = static_cast<uint8_t>((x * 7 + y * 13 + seed) ^ (x >> 5));
    }
  }
  const Orvex::Testing::Bytes jpeg = Orvex::Testing::EncodeJpeg(width, height, 3, samples);
  TestFolder::WriteBytes(path,
                         std::string_view(reinterpret_cast<const char*>(jpeg.data()), jpeg.size()));
}

TEST(WallpaperCycleMemoryTest, ChangesGiveBackWhatTheyUsedWhenTheyEnd) {
  if (!PELMORA_OWN_ALLOCATOR) GTEST_SKIP() << "the sanitizers' allocator keeps freed memory";
  if (!PrivateAnonymousBytes()) GTEST_SKIP() << "no /proc/self/status";
  Orvex::SetResampleThreads(true);
  TestFolder temp;
  TestFolder images;
  WritePicture(images / u"a.jpg", 3000, 2000, 1);
  WritePicture(images / u"b.jpg", 2400, 1800, 2);
  Orvex::LoaderRegistry registry;
  Orvex::RegisterBuiltinLoaders(registry);
  ConfigStore store(temp / u"settings.ini", u"pelmora-cycle-memory-test");
  store.LoadWithDefaults();
  store.SetString(u"ImageDir", images.Path());
  store.SetString(u"SaveFile", temp / u"wallpaper.bmp");
  store.SetBool(u"Resize", true);
  store.SetBool(u"ResizeFixedAspectRatio", true);
  store.SetBool(u"Suspend", false);
  FakeDesktop desktop;
  desktop.screen = PlaneSize{3840, 2160};
  WallpaperCycle cycle(desktop, registry);

  // Writing the pictures freed much; the program before its first change
  // has freed nothing yet.
  malloc_trim(0);
  const int64_t before = *PrivateAnonymousBytes();
  for (int i = 0; i < 4; ++i) {
    cycle.ChangeWallpaper(store);
    const int64_t after = *PrivateAnonymousBytes();
    EXPECT_LE(after - before, 8 * kMiB)
        << "after change " << i + 1 << ": " << (after - before) / kMiB << " MiB more than before";
  }
  ASSERT_EQ(desktop.wallpapers.size(), 4u);
  EXPECT_TRUE(desktop.errors.empty());
}

}  // namespace
