#include "codecs/linux/qt_image_loader.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "codecs/linux/qt_decoder_abi.h"
#include "foundation/dll.h"
#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "foundation/posix/companion_file.h"
#include "imaging/plane32.h"

namespace Orvex {

namespace {

// The same ceiling on pixel memory as the built-in decoders keep.
int32_t g_limit_megabytes = 1024;

// The formats' own signatures, checked before the module is loaded for a
// file; the toolkit then checks them in full.
bool MayBeOneOfTheFormats(const unsigned char* data, size_t size) {
  const std::string_view head(reinterpret_cast<const char*>(data), size < 12 ? size : 12);
  const auto starts = [&head](std::string_view signature) { return head.starts_with(signature); };
  using namespace std::string_view_literals;
  return starts("GIF8"sv) || starts("\0\0\1\0"sv) || starts("\0\0\2\0"sv) ||
         (starts("RIFF"sv) && head.substr(8) == "WEBP"sv) || starts("II*\0"sv) ||
         starts("MM\0*"sv) || starts("II+\0"sv) || starts("MM\0+"sv);
}

SharedString g_module_path;

// The module's entry points, or nothing when it cannot be loaded; loaded
// once for the process and kept.
struct QtDecoder {
  std::optional<CDll> module;
  PelmoraQtDecode* decode = nullptr;
  PelmoraQtRelease* release = nullptr;
};

const QtDecoder& Decoder() {
  static QtDecoder decoder;
  static std::once_flag loaded;
  std::call_once(loaded, [] {
    try {
      decoder.module.emplace(
          g_module_path.IsEmpty() ? QtDecoderModulePath(GetExecutableDirectory()) : g_module_path,
          true);
      decoder.decode = decoder.module->GetFunction<PelmoraQtDecode>(kQtDecodeEntry);
      decoder.release = decoder.module->GetFunction<PelmoraQtRelease>(kQtReleaseEntry);
    } catch (const Exception&) {
      decoder.decode = nullptr;
      decoder.release = nullptr;
    }
  });
  return decoder;
}

}  // namespace

void SetQtDecoderModule(const SharedString& path) { g_module_path = path; }
void SetQtDecoderAllocationLimit(int32_t megabytes) { g_limit_megabytes = megabytes; }

SharedString QtDecoderModulePath(const SharedString& program_folder) {
  return CompanionFile(program_folder, FromUtf8(kQtDecoderModule));
}

CQtImageLoader::CQtImageLoader() = default;
CQtImageLoader::~CQtImageLoader() = default;

bool CQtImageLoader::Open(const std::shared_ptr<CFileData>& source) {
  image_.reset();
  if (!source || source->GetSize() == 0) return false;
  if (!MayBeOneOfTheFormats(source->GetData(), source->GetSize())) return false;
  const QtDecoder& decoder = Decoder();
  if (!decoder.decode) return false;
  PelmoraDecodedImage decoded{};
  if (!decoder.decode(source->GetData(), source->GetSize(), g_limit_megabytes, &decoded)) {
    return false;
  }
  // Given back however the copy ends.
  struct Release {
    const QtDecoder& decoder;
    PelmoraDecodedImage& image;
    ~Release() { decoder.release(&image); }
  } release{decoder, decoded};
  if (decoded.width <= 0 || decoded.height <= 0 || decoded.format < 0 ||
      static_cast<size_t>(decoded.format) >= std::size(kQtDecoderFormats)) {
    return false;
  }

  auto image = std::make_unique<CMemoryPlane32>();
  image->SetSize(PlaneSize{decoded.width, decoded.height});
  {
    PlaneBitsLock lock(*image);
    const size_t row_bytes = static_cast<size_t>(decoded.width) * 4;
    for (int32_t y = 0; y < decoded.height; ++y) {
      std::memcpy(lock.Row(y), decoded.pixels + row_bytes * static_cast<size_t>(y), row_bytes);
    }
  }
  has_alpha_ = decoded.has_alpha != 0;
  format_name_ = kQtDecoderFormats[decoded.format].display_name;
  image_ = std::move(image);
  return true;
}

PlaneSize CQtImageLoader::GetImageSize() { return image_ ? image_->GetSize() : PlaneSize{0, 0}; }

void CQtImageLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  if (!image_) throw ImageLoadException(u"画像の読み込みに失敗しました");
  plane.Copy(*image_, x, y, image_->GetBounds(), PlaneClip{});
}

}  // namespace Orvex
