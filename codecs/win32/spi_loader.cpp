#include "codecs/win32/spi_loader.h"

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "codecs/win32/spi.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/fault_translation.h"
#include "foundation/files.h"
#include "foundation/win32/win32.h"
#include "imaging/dib_source.h"
#include "imaging/plane.h"

namespace Orvex {

namespace {

// Critical errors fail at once, no fault or missing-file boxes, alignment
// faults fixed silently: a plug-in must not stop the program on a box.
constexpr UINT kPluginErrorMode = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX |
                                  SEM_NOOPENFILEERRORBOX | SEM_NOALIGNMENTFAULTEXCEPT;

// Plug-ins may read a full 2 KB header from the probe buffer; shorter
// files are offered in a zero-padded copy.
constexpr size_t kProbeBytes = 2048;
constexpr size_t kPaddedProbeBytes = 4096;

// Far beyond any picture worth showing, and beyond what a 32-bit process
// could hold; a larger claim is a plug-in's mistake.
constexpr int64_t kMaxPictureSide = 1 << 20;
constexpr int64_t kMaxPicturePixels = int64_t{1} << 28;

// No plug-in describes this many formats; one that never answers 0 would
// otherwise keep us asking for ever.
constexpr int kMaxInfoEntries = 256;

class ErrorModeScope {
 public:
  ErrorModeScope() : previous_(SetErrorMode(kPluginErrorMode)) {}
  ErrorModeScope(const ErrorModeScope&) = delete;
  ErrorModeScope& operator=(const ErrorModeScope&) = delete;
  ~ErrorModeScope() { SetErrorMode(previous_); }

 private:
  const UINT previous_;
};

int ORVEX_SPI_CALL KeepGoing(int, int, long) { return 0; }

// Local-memory calls on handles a plug-in handed over: a garbage handle
// must cost the picture, not the program.
size_t GuardedLocalSize(void* handle) {
  return CallGuarded([handle] { return static_cast<size_t>(LocalSize(handle)); });
}
void* GuardedLocalLock(void* handle) {
  return CallGuarded([handle] { return LocalLock(handle); });
}
void GuardedLocalUnlock(void* handle) {
  CallGuarded([handle] { LocalUnlock(handle); });
}
void GuardedLocalFree(void* handle) noexcept {
  if (!handle) return;
  try {
    CallGuarded([handle] { LocalFree(handle); });
  } catch (const std::exception&) {
  }
}

class LocalLockScope {
 public:
  explicit LocalLockScope(void* handle) : handle_(handle), data_(GuardedLocalLock(handle)) {}
  LocalLockScope(const LocalLockScope&) = delete;
  LocalLockScope& operator=(const LocalLockScope&) = delete;
  ~LocalLockScope() {
    if (!data_) return;
    try {
      GuardedLocalUnlock(handle_);
    } catch (const std::exception&) {
    }
  }
  const void* Data() const { return data_; }

 private:
  void* handle_;
  void* data_;
};

// The text of GetPluginInfo(number): at most what the buffer holds and up
// to the first zero. Empty when the plug-in has no such entry.
std::string PluginInfo(Spi::GetPluginInfoFn* get_plugin_info, int number, int length) {
  std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
  const int written = CallGuarded([&] { return get_plugin_info(number, buffer.data(), length); });
  if (written <= 0) return {};
  const size_t limit = std::min(static_cast<size_t>(written), static_cast<size_t>(length));
  return std::string(buffer.data(), strnlen(buffer.data(), limit));
}

bool PictureSizeIsSane(const Spi::PictureInfo& info) {
  const int64_t width = info.width;
  const int64_t height = info.height;
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

}  // namespace

CSpiLoader::CSpiLoader(std::shared_ptr<CSpi> plugins) : plugins_(std::move(plugins)) {}

CSpiLoader::~CSpiLoader() {
  FreeHandles();
  GuardedLocalFree(picture_info_.text);
}

void CSpiLoader::FreeHandles() {
  GuardedLocalFree(info_handle_);
  GuardedLocalFree(bits_handle_);
  info_handle_ = bits_handle_ = nullptr;
}

bool CSpiLoader::Open(const std::shared_ptr<CFileData>& source) {
  FreeHandles();
  GuardedLocalFree(picture_info_.text);
  picture_info_ = {};
  format_name_ = {};
  alpha_state_ = 0;
  if (!plugins_ || !source || source->GetSize() == 0) return false;
  try {
    const std::string name = GetDefaultEncoding().ToMultiByte(source->GetName());
    std::vector<char> padded;
    const char* probe = reinterpret_cast<const char*>(source->GetData());
    if (source->GetSize() < kProbeBytes) {
      padded.assign(kPaddedProbeBytes, '\0');
      std::memcpy(padded.data(), probe, source->GetSize());
      probe = padded.data();
    }

    const std::lock_guard<std::mutex> lock(SpiCallLock());
    const ErrorModeScope error_mode;
    for (size_t i = 0; i < plugins_->GetCount(); ++i) {
      try {
        if (TryPlugin(i, source, probe, name.c_str())) return true;
      } catch (const std::exception&) {
        // A missing entry point or a fault inside the plug-in.
      }
      // What a plug-in left behind after failing is not trusted.
      info_handle_ = bits_handle_ = nullptr;
      GuardedLocalFree(picture_info_.text);
      picture_info_ = {};
    }
  } catch (const std::exception&) {
  }
  return false;
}

bool CSpiLoader::TryPlugin(size_t index, const std::shared_ptr<CFileData>& source,
                           const char* probe, const char* name) {
  if (!plugins_->IsImportFilter(index)) return false;
  auto* is_supported = plugins_->GetEntry<Spi::IsSupportedFn>(index, "IsSupported");
  auto* get_picture_info = plugins_->GetEntry<Spi::GetPictureInfoFn>(index, "GetPictureInfo");
  auto* get_picture = plugins_->GetEntry<Spi::GetPictureFn>(index, "GetPicture");

  const uintptr_t address = reinterpret_cast<uintptr_t>(probe);
  if (CallGuarded([&] { return is_supported(name, address); }) == 0) return false;

  const long length = static_cast<long>(source->GetSize());
  info_handle_ = bits_handle_ = nullptr;
  picture_info_ = {};
  CallGuarded([&] { return get_picture_info(probe, length, Spi::kInputMemory, &picture_info_); });
  void* info = nullptr;
  void* bits = nullptr;
  const int result = CallGuarded(
      [&] { return get_picture(probe, length, Spi::kInputMemory, &info, &bits, &KeepGoing, 0); });
  if (result != 0) return false;
  info_handle_ = info;
  bits_handle_ = bits;
  if (!PictureSizeIsSane(picture_info_) || !DeliveredBitmapFits()) {
    FreeHandles();
    return false;
  }

  try {
    auto* get_plugin_info = plugins_->GetEntry<Spi::GetPluginInfoFn>(index, "GetPluginInfo");
    SharedString names;
    for (int n = 0; n < kMaxInfoEntries; ++n) {
      const std::string text = PluginInfo(get_plugin_info, 2 * n + 3, 256);
      if (text.empty()) break;
      if (!names.IsEmpty()) names = names + u" / ";
      names = names + GetDefaultEncoding().ToWide(text);
    }
    format_name_ = names;
  } catch (const std::exception&) {
    format_name_ = u"Unknown SPI";
  }
  alpha_state_ = 0;
  return true;
}

bool CSpiLoader::DeliveredBitmapFits() const {
  if (!info_handle_ || !bits_handle_) return false;
  const size_t info_bytes = GuardedLocalSize(info_handle_);
  const size_t bits_bytes = GuardedLocalSize(bits_handle_);
  if (info_bytes == 0 || bits_bytes == 0) return false;
  const LocalLockScope info(info_handle_);
  const LocalLockScope bits(bits_handle_);
  if (!info.Data() || !bits.Data()) return false;
  try {
    Detail::ReadDibSource(info.Data(), info_bytes, bits.Data(), bits_bytes);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

PlaneSize CSpiLoader::GetImageSize() {
  return PlaneSize{picture_info_.width, picture_info_.height};
}

void CSpiLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  if (!info_handle_ || !bits_handle_) throw ImageLoadException(u"画像の読み込みに失敗しました");
  const size_t info_bytes = GuardedLocalSize(info_handle_);
  const size_t bits_bytes = GuardedLocalSize(bits_handle_);
  const LocalLockScope info(info_handle_);
  const LocalLockScope bits(bits_handle_);
  uint16_t bit_count = 0;
  if (info.Data() && info_bytes >= 16)
    std::memcpy(&bit_count, static_cast<const char*>(info.Data()) + 14, 2);
  alpha_state_ = bit_count == 32 ? 2 : 1;
  plane.DrawDib(info.Data(), info_bytes, bits.Data(), bits_bytes, x, y,
                PlaneRect{0, 0, 0x3FFFFFFF, 0x3FFFFFFF}, PlaneClip{});
}

SharedString CSpiLoader::GetFormatName() {
  return format_name_.IsEmpty() ? SharedString(u"SPI") : format_name_;
}

SharedString CSpiLoader::GetFilter() {
  SharedString filter;
  if (!plugins_) return filter;
  const std::lock_guard<std::mutex> lock(SpiCallLock());
  const ErrorModeScope error_mode;
  try {
    for (size_t i = 0; i < plugins_->GetCount(); ++i) {
      try {
        if (!plugins_->IsImportFilter(i)) continue;
        auto* get_plugin_info = plugins_->GetEntry<Spi::GetPluginInfoFn>(i, "GetPluginInfo");
        for (int k = 0; k < kMaxInfoEntries; ++k) {
          const std::string pattern = PluginInfo(get_plugin_info, 2 * k + 2, 127);
          if (pattern.empty()) break;
          if (!filter.IsEmpty()) filter = filter + u";";
          filter = filter + GetDefaultEncoding().ToWide(pattern);
        }
      } catch (const std::exception&) {
      }
    }
  } catch (...) {
    // Ends the collection with what was gathered.
  }
  return filter;
}

CSpiLoaderFactory::CSpiLoaderFactory(const SharedString& folder)
    : plugins_(std::make_shared<CSpi>(folder)) {}

std::shared_ptr<IImageLoader> CSpiLoaderFactory::CreateInstance() {
  return std::make_shared<CSpiLoader>(plugins_);
}

}  // namespace Orvex
