#include "codecs/png_loader.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "codecs/image_limits.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane.h"

namespace Orvex {

namespace {

constexpr double kScreenGamma = 2.2;
constexpr size_t kSignatureBytes = 8;
const png_byte kIgnoredChunks[] =
    "bKGD\0cHRM\0eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
    "sCAL\0sPLT\0sTER\0tEXt\0tIME\0zTXt";
const char16_t kLoadFailed[] = u"画像の読み込みに失敗しました";

// libpng's C frames have no unwind information, so a fatal error jumps back
// to the guard that called into the library (png_jmpbuf) instead of
// throwing through them; the C++ side throws from there.
[[noreturn]] void ErrorHook(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void WarningHook(png_structp, png_const_charp) {}

}  // namespace

struct CPngLoader::Reader {
  png_structp png = nullptr;
  png_infop info = nullptr;
};

struct CPngLoader::ReadState {
  std::shared_ptr<CFileData> source;
  uint32_t position;
  uint64_t zeros_past_end;
};

namespace {

// Past the end of the file the reader gets zeros, which libpng then rejects
// as a bad chunk or bad data: a file cut short is refused rather than read
// out of bounds. A chunk that claims gigabytes would have libpng skip
// through zeros for seconds, so reading far past the end fails at once.
constexpr uint64_t kMaxZerosPastEnd = 64 * 1024;

void ReadBytes(png_structp png, png_bytep out, size_t count) {
  auto* state = static_cast<CPngLoader::ReadState*>(png_get_io_ptr(png));
  const uint8_t* data = state->source->GetData();
  const uint64_t size = state->source->GetSize();
  if (state->position + uint64_t{count} <= size) {
    std::memcpy(out, data + state->position, count);
    state->position += static_cast<uint32_t>(count);
    return;
  }
  const size_t rest = static_cast<size_t>(size - std::min<uint64_t>(state->position, size));
  if (count - rest > kMaxZerosPastEnd - state->zeros_past_end) png_error(png, "read past the end");
  state->zeros_past_end += count - rest;
  if (rest > 0) std::memcpy(out, data + state->position, rest);
  std::memset(out + rest, 0, count - rest);
}

struct Header {
  png_uint_32 width;
  png_uint_32 height;
  int channels;
  size_t row_bytes;
  bool has_alpha;
};

// The guards call into libpng under setjmp; the work sits in separate
// functions so that no local of the guard is live across the jump.
template <class Arg>
bool Guarded(png_structp png, void (*work)(png_structp, png_infop, Arg*), png_infop info,
             Arg* arg) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  work(png, info, arg);
  return true;
}

void ReadHeaderAndTransform(png_structp png, png_infop info, Header* header) {
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0;
  png_get_IHDR(png, info, &width, &height, &bit_depth, &color_type, nullptr, nullptr, nullptr);

  if (color_type == PNG_COLOR_TYPE_PALETTE ||
      (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) ||
      png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_expand(png);
  }
  if (bit_depth == 16) png_set_strip_16(png);
  if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(png);
  }
  header->has_alpha = (color_type & PNG_COLOR_MASK_ALPHA) != 0;
  if (!header->has_alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  double file_gamma = 0;
  if (png_get_gAMA(png, info, &file_gamma)) png_set_gamma(png, kScreenGamma, file_gamma);
  png_set_bgr(png);
  png_set_interlace_handling(png);

  png_read_update_info(png, info);
  png_get_IHDR(png, info, &header->width, &header->height, &bit_depth, &color_type, nullptr,
               nullptr, nullptr);
  header->channels = png_get_channels(png, info);
  header->row_bytes = png_get_rowbytes(png, info);
}

struct RowTarget {
  uint8_t* bits;
  ptrdiff_t step;
  png_uint_32 height;
};

void ReadRows(png_structp png, png_infop, RowTarget* target) {
  // set_interlace_handling told the passes; asking again is harmless.
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    uint8_t* row = target->bits;
    for (png_uint_32 y = 0; y < target->height; ++y, row += target->step) {
      png_read_row(png, row, nullptr);
    }
  }
  png_read_end(png, nullptr);
}

}  // namespace

CPngLoader::CPngLoader() : reader_(std::make_unique<Reader>()) {
  reader_->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorHook, WarningHook);
  if (reader_->png) reader_->info = png_create_info_struct(reader_->png);
}

CPngLoader::~CPngLoader() {
  if (reader_->png) {
    png_destroy_read_struct(&reader_->png, reader_->info ? &reader_->info : nullptr, nullptr);
  }
}

bool CPngLoader::Open(const std::shared_ptr<CFileData>& source) {
  png_structp png = reader_->png;
  png_infop info = reader_->info;
  if (!png || !info || !source) return false;
  if (source->GetSize() < kSignatureBytes || png_sig_cmp(source->GetData(), 0, kSignatureBytes)) {
    return false;
  }
  try {
    read_state_ = std::make_unique<ReadState>(ReadState{source, kSignatureBytes, 0});
    // Chunks that cannot change the pixels are skipped unread: libpng would
    // allocate and clear whatever size such a chunk claims, seconds of work
    // for a damaged file of a few bytes.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                sizeof(kIgnoredChunks) / 5);
    png_set_read_fn(png, read_state_.get(), ReadBytes);
    png_set_sig_bytes(png, kSignatureBytes);

    Header header{};
    if (!Guarded(png, ReadHeaderAndTransform, info, &header)) throw ImageLoadException(kLoadFailed);
    // Every type comes out as four 8-bit channels; anything else would not
    // fit the rows of a 32-bit plane.
    if (header.channels != 4 || header.row_bytes != size_t{header.width} * 4 ||
        !IsWithinPixelLimit(header.width, header.height)) {
      throw ImageLoadException(kLoadFailed);
    }
    has_alpha_ = header.has_alpha;
    size_ = PlaneSize{static_cast<int32_t>(header.width), static_cast<int32_t>(header.height)};

    image_.reset();
    auto image = std::make_unique<CMemoryPlane>(header.channels * 8);
    image->SetSize(size_);
    {
      PlaneBitsLock lock(*image);
      RowTarget target{lock.Row(0), lock.Step(), header.height};
      if (!Guarded(png, ReadRows, info, &target)) throw ImageLoadException(kLoadFailed);
    }
    image_ = std::move(image);
    return true;
  } catch (const std::exception&) {
    read_state_.reset();
    has_alpha_ = false;
    return false;
  }
}

void CPngLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  if (!image_) throw ImageLoadException(kLoadFailed);
  try {
    plane.Copy(*image_, x, y, PlaneRect{0, 0, plane.GetWidth(), plane.GetHeight()}, PlaneClip{});
  } catch (const std::exception&) {
    throw ImageLoadException(kLoadFailed);
  }
}

}  // namespace Orvex
