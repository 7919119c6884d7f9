// libFuzzer target: one loader behind the registry, fed through LoadImage
// into a DIB plane, and once more straight into a small resampling, as the
// wallpaper change does (a loader that hands out rows streams them there). The loader is chosen at
// compile time (FUZZ_BMP, FUZZ_JPEG, FUZZ_PNG, or FUZZ_SYSTEM for the
// system decoder).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "codecs/bmp_loader.h"
#include "codecs/image_loaders.h"
#include "codecs/jpg_loader.h"
#include "codecs/loader_registry.h"
#include "codecs/opened_image.h"
#include "codecs/png_loader.h"
#ifdef PELMORA_QT_DECODER
#include "codecs/linux/qt_image_loader.h"
#endif
#include "foundation/files.h"
#include "imaging/plane32.h"

namespace {

using namespace Orvex;

uint32_t Big32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
uint32_t Little32(const uint8_t* p) { return uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0]; }

// The pixel count the header claims, or 0 when it cannot be told. Inputs
// that claim huge images only measure the allocator, so they are skipped.
uint64_t ClaimedPixels(const uint8_t* data, size_t size) {
  if (size >= 26 && data[0] == 'B' && data[1] == 'M') {
    const int64_t w = int32_t(Little32(data + 18)), h = int32_t(Little32(data + 22));
    return uint64_t(w < 0 ? -w : w) * uint64_t(h < 0 ? -h : h);
  }
  if (size >= 24 && data[0] == 0x89 && data[1] == 'P') {
    return uint64_t(Big32(data + 16)) * Big32(data + 20);
  }
  if (size >= 10 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F') {
    return uint64_t(data[6] | data[7] << 8) * (data[8] | data[9] << 8);
  }
  uint64_t most = 0;
  for (size_t i = 0; i + 9 < size; ++i) {  // JPEG frame headers
    if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xCF && data[i + 1] != 0xC4 &&
        data[i + 1] != 0xC8 && data[i + 1] != 0xCC) {
      const uint64_t pixels =
          uint64_t(data[i + 5] << 8 | data[i + 6]) * (data[i + 7] << 8 | data[i + 8]);
      if (pixels > most) most = pixels;
    }
  }
  return most;
}

const LoaderRegistry& Registry() {
  static LoaderRegistry* registry = [] {
    auto* r = new LoaderRegistry;
#if defined(FUZZ_BMP)
    r->RegisterFactory(std::make_shared<DefaultFactory<CBmpLoader, IImageLoader>>(), 0);
#elif defined(FUZZ_JPEG)
    r->RegisterFactory(std::make_shared<DefaultFactory<CJpgLoader, IImageLoader>>(), 0);
#elif defined(FUZZ_SYSTEM)
#ifdef PELMORA_QT_DECODER
    // The toolkit's decoders are a module, built beside the programs.
    SetQtDecoderModule(FromUtf8(PELMORA_QT_DECODER));
    // What ClaimedPixels lets through; a GIF's frame can grow its image past
    // what the header claims, which only the decoder finds out.
    SetQtDecoderAllocationLimit(64);
#endif
    r->RegisterFactory(Detail::MakeSystemLoaderFactory(), 0);
#else
    r->RegisterFactory(std::make_shared<DefaultFactory<CPngLoader, IImageLoader>>(), 0);
#endif
    return r;
  }();
  return *registry;
}

// CFileData reads a file, so each input goes through one in memory-backed
// /dev/shm when there is one.
const std::string& InputPath() {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/pelmora-fuzz-" + std::to_string(getpid());
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ClaimedPixels(data, size) > (uint64_t{1} << 24)) return -1;
  const std::string& path = InputPath();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  try {
    auto source = std::make_shared<CFileData>(FromUtf8(path));
    CDib32 plane;
    Registry().LoadImage(source, plane);
    // Small images only, to a third of their size: resampling a large one
    // (or reducing a long thin one strongly) costs the filter's time, not
    // the loader's, and would slow every run down.
    OpenedImage opened(Registry(), source);
    const PlaneSize size = opened.Size();
    if (int64_t{size.width} * size.height <= (int64_t{1} << 16)) {
      const PlaneSize third{(size.width + 2) / 3, (size.height + 2) / 3};
      CMemoryPlane32 fitted;
      fitted.SetSize(third);
      opened.LoadResampled(plane, fitted, PlaneRect{0, 0, third.width, third.height},
                           PlaneRect{0, 0, size.width, size.height});
    }
  } catch (const std::exception&) {
    // Refusals and load failures are the expected outcome of most inputs.
  }
  return 0;
}
