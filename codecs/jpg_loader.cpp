#include "codecs/jpg_loader.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <exception>

#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane.h"

namespace Orvex {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return.
// Its C frames have no unwind information, so rather than throwing through
// them the hook jumps back to the guard that called into the library, and
// the C++ side throws from there.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Reads the whole file from memory in one buffer. Past its end the decoder
// is fed end-of-image markers for as long as it asks, so a file cut short
// decodes as far as it goes instead of failing.
struct MemorySource {
  jpeg_source_mgr pub;
  const CFileData* source;
  boolean at_start;
  JOCTET end_marker[2];
};

void InitSource(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
  src->at_start = TRUE;
  src->end_marker[0] = 0xFF;
  src->end_marker[1] = JPEG_EOI;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
  // An empty buffer would make the library read before its start.
  if (src->at_start && src->source->GetSize() > 0) {
    src->pub.next_input_byte = src->source->GetData();
    src->pub.bytes_in_buffer = src->source->GetSize();
  } else {
    src->pub.next_input_byte = src->end_marker;
    src->pub.bytes_in_buffer = sizeof(src->end_marker);
  }
  src->at_start = FALSE;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  size_t n = static_cast<size_t>(count);
  while (n > src->bytes_in_buffer) {
    n -= src->bytes_in_buffer;
    FillInputBuffer(cinfo);
  }
  src->next_input_byte += n;
  src->bytes_in_buffer -= n;
}

void TermSource(j_decompress_ptr) {}

enum class Outcome { kDone, kLibraryError, kNoRowBuffer, kUnsupportedComponents };

struct DecodeTarget {
  uint8_t* bits;
  ptrdiff_t step;
  int32_t width;
  int32_t height;
  Outcome outcome;
};

// The guards below call into libjpeg under setjmp. The work itself sits in
// separate functions so that no local of the guard is live across the jump.
template <class Arg>
bool Guarded(ErrorManager& errors, void (*work)(jpeg_decompress_struct*, Arg*),
             jpeg_decompress_struct* cinfo, Arg* arg) {
  if (setjmp(errors.jump) != 0) return false;
  work(cinfo, arg);
  return true;
}

void ReadHeader(jpeg_decompress_struct* cinfo, void*) { jpeg_read_header(cinfo, TRUE); }

void Decode(jpeg_decompress_struct* cinfo, DecodeTarget* target) {
  jpeg_start_decompress(cinfo);
  const int components = cinfo->output_components;
  JSAMPARRAY row = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                               cinfo->output_width * components, 1);
  if (row == nullptr) {
    jpeg_abort_decompress(cinfo);
    target->outcome = Outcome::kNoRowBuffer;
    return;
  }
  if (components != 1 && components != 3) {
    jpeg_abort_decompress(cinfo);
    target->outcome = Outcome::kUnsupportedComponents;
    return;
  }
  const int32_t width = std::min(target->width, static_cast<int32_t>(cinfo->output_width));
  uint8_t* out = target->bits;
  while (cinfo->output_scanline < cinfo->output_height) {
    const int32_t y = static_cast<int32_t>(cinfo->output_scanline);
    jpeg_read_scanlines(cinfo, row, 1);
    if (y >= target->height) continue;
    const JSAMPLE* in = row[0];
    uint8_t* px = out;
    if (components == 3) {
      for (int32_t x = 0; x < width; ++x, in += 3, px += 4) {
        px[0] = in[2];
        px[1] = in[1];
        px[2] = in[0];
        px[3] = 0;
      }
    } else {
      for (int32_t x = 0; x < width; ++x, ++in, px += 4) {
        px[0] = px[1] = px[2] = *in;
        px[3] = 0;
      }
    }
    out += target->step;
  }
  jpeg_finish_decompress(cinfo);
  target->outcome = Outcome::kDone;
}

void Create(jpeg_decompress_struct* cinfo, void*) { jpeg_create_decompress(cinfo); }

const char16_t kLoadFailed[] = u"画像の読み込みに失敗しました";

}  // namespace

struct CJpgLoader::Decompressor {
  jpeg_decompress_struct cinfo{};
  ErrorManager errors{};
  bool created = false;
};

CJpgLoader::CJpgLoader() : decompressor_(std::make_unique<Decompressor>()) {
  Decompressor& d = *decompressor_;
  d.cinfo.err = jpeg_std_error(&d.errors.pub);
  d.errors.pub.error_exit = ErrorExit;
  // Creation only fails when memory runs out; Open then refuses.
  d.created = Guarded<void>(d.errors, Create, &d.cinfo, nullptr);
}

CJpgLoader::~CJpgLoader() { jpeg_destroy_decompress(&decompressor_->cinfo); }

bool CJpgLoader::Open(const std::shared_ptr<CFileData>& source) {
  Decompressor& d = *decompressor_;
  if (!d.created || !source) return false;
  try {
    source_ = source;
    jpeg_abort_decompress(&d.cinfo);
    if (d.cinfo.src == nullptr) {
      d.cinfo.src = static_cast<jpeg_source_mgr*>((*d.cinfo.mem->alloc_small)(
          reinterpret_cast<j_common_ptr>(&d.cinfo), JPOOL_PERMANENT, sizeof(MemorySource)));
      if (d.cinfo.src == nullptr) return false;
    }
    auto* src = reinterpret_cast<MemorySource*>(d.cinfo.src);
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInputBuffer;
    src->pub.skip_input_data = SkipInputData;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->source = source.get();

    if (!Guarded<void>(d.errors, ReadHeader, &d.cinfo, nullptr)) return false;

    image_.reset();
    auto image = std::make_unique<CMemoryPlane>(32);
    const PlaneSize size = GetImageSize();
    image->SetSize(size);
    DecodeTarget target{};
    {
      PlaneBitsLock lock(*image);
      target =
          DecodeTarget{lock.Row(0), lock.Step(), size.width, size.height, Outcome::kLibraryError};
      if (!Guarded(d.errors, Decode, &d.cinfo, &target)) target.outcome = Outcome::kLibraryError;
    }
    if (target.outcome != Outcome::kDone) {
      jpeg_abort_decompress(&d.cinfo);
      throw ImageLoadException(kLoadFailed);
    }
    image_ = std::move(image);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

PlaneSize CJpgLoader::GetImageSize() {
  const jpeg_decompress_struct& cinfo = decompressor_->cinfo;
  return PlaneSize{static_cast<int32_t>(cinfo.image_width),
                   static_cast<int32_t>(cinfo.image_height)};
}

void CJpgLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  if (!image_) throw ImageLoadException(kLoadFailed);
  try {
    plane.Copy(*image_, x, y, PlaneRect{0, 0, image_->GetWidth(), image_->GetHeight()},
               PlaneClip{});
  } catch (const std::exception&) {
    throw ImageLoadException(kLoadFailed);
  }
}

}  // namespace Orvex
