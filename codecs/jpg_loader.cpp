#include "codecs/jpg_loader.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <vector>

#include "codecs/image_limits.h"
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

// Every scan of a progressive file goes over the whole image, and one that
// leaves all its blocks empty takes some 30 bytes: a 200 KB file with 3,000
// scans of a 4096x4096 picture kept the decoder busy for half a minute.
// Encoders write a dozen or so.
constexpr int kMostScans = 100;

void LimitScans(j_common_ptr common) {
  if (common->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(common)->input_scan_number > kMostScans) {
    ErrorExit(common);
  }
}

// Reads the whole file from memory in one buffer. Past its end the decoder
// is fed end-of-image markers for as long as it asks, so a file cut short
// decodes as far as it goes instead of failing.
struct MemorySource {
  jpeg_source_mgr pub;
  const CFileData* source;
  boolean at_start;
  // The decoder has used up the file and is being fed end markers.
  boolean exhausted;
  JOCTET end_marker[2];
};

void InitSource(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<MemorySource*>(cinfo->src);
  src->at_start = TRUE;
  src->exhausted = FALSE;
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
    src->exhausted = TRUE;
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

enum class Outcome { kDone, kLibraryError, kNoRowBuffer };

// Where the decoded rows go, and how the decode ended.
struct DecodeTarget {
  IRowSink* sink;
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

// Colour files decode straight into the plane's B, G, R, X layout, which
// saves a conversion pass over the image; the library's colour conversion
// is the same one it does for R, G, B output. A progressive file is read
// whole here, so that its errors still count as refusing it.
void Start(jpeg_decompress_struct* cinfo, void*) {
  if (cinfo->jpeg_color_space == JCS_YCbCr || cinfo->jpeg_color_space == JCS_RGB) {
    cinfo->out_color_space = JCS_EXT_BGRX;
  }
  jpeg_start_decompress(cinfo);
}

// Rows between two reports: often enough for a reader to follow closely,
// rarely enough to cost nothing.
constexpr int32_t kReportRows = 16;
// Rows asked for in one read; the library hands out at most one row group.
constexpr int kReadRows = 16;

// What the decoder makes of the rows a sequential file no longer has data
// for: blocks of zero coefficients, mid-grey in every colour space.
constexpr uint32_t kMissingDataPixel = 0x00808080;

// Once a sequential file has run out, the decoder goes on making up rows
// from nothing; for a header that claims a huge image and a few kilobytes
// of data that takes minutes. Rows this far below where the data ran out
// (the block row being decoded then, the one read ahead and the one whose
// upsampling looks back at it) depend on nothing the file holds: they are
// filled instead.
int32_t RowsTheDataStillReaches(const jpeg_decompress_struct& cinfo) {
  return 3 * cinfo.max_v_samp_factor * DCTSIZE;
}

// Made-up rows, reported in pieces the sink has room for.
void FillRows(IRowSink& sink, int32_t width, int32_t from, int32_t to) {
  if (from >= to) return;
  std::vector<uint8_t> pattern(4 * static_cast<size_t>(width));
  for (int32_t x = 0; x < width; ++x) {
    std::memcpy(pattern.data() + 4 * static_cast<ptrdiff_t>(x), &kMissingDataPixel, 4);
  }
  const int32_t piece = std::max(1, sink.RowsInHand() / 2);
  for (int32_t y = from; y < to; ++y) {
    std::memcpy(sink.RowFor(y), pattern.data(), pattern.size());
    if ((y + 1 - from) % piece == 0) sink.RowsDone(y + 1);
  }
}

void ClearFourthBytes(uint8_t* row, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, row + 4 * static_cast<ptrdiff_t>(x), 4);
    pixel &= 0x00FFFFFFu;
    std::memcpy(row + 4 * static_cast<ptrdiff_t>(x), &pixel, 4);
  }
}

void Decode(jpeg_decompress_struct* cinfo, DecodeTarget* target) {
  const int components = cinfo->output_components;
  const auto width = static_cast<int32_t>(cinfo->output_width);
  const bool direct = cinfo->out_color_space == JCS_EXT_BGRX;
  JSAMPARRAY buffer = nullptr;
  if (!direct) {
    buffer = (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE,
                                         cinfo->output_width * components, kReadRows);
    if (buffer == nullptr) {
      target->outcome = Outcome::kNoRowBuffer;
      return;
    }
  }
  const auto* src = reinterpret_cast<const MemorySource*>(cinfo->src);
  const bool sequential = !jpeg_has_multiple_scans(cinfo);
  const auto height = static_cast<int32_t>(cinfo->output_height);
  int32_t made_up_from = height;
  int32_t reported = 0;
  while (cinfo->output_scanline < cinfo->output_height) {
    const auto y = static_cast<int32_t>(cinfo->output_scanline);
    const int wanted = static_cast<int>(std::min<JDIMENSION>(kReadRows, cinfo->output_height - y));
    JSAMPROW rows[kReadRows];
    for (int k = 0; k < wanted; ++k) {
      rows[k] = direct ? target->sink->RowFor(y + k) : buffer[k];
    }
    const auto got = static_cast<int32_t>(jpeg_read_scanlines(cinfo, rows, wanted));
    for (int32_t k = 0; k < got; ++k) {
      uint8_t* px = direct ? rows[k] : target->sink->RowFor(y + k);
      const JSAMPLE* in = rows[k];
      if (direct) {
        ClearFourthBytes(px, width);
      } else if (components == 3) {
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
    }
    int32_t done = y + got;
    if (sequential && src->exhausted && made_up_from == height) {
      made_up_from = static_cast<int32_t>(
          std::min<int64_t>(height, int64_t{done} + RowsTheDataStillReaches(*cinfo)));
    }
    if (done >= made_up_from) {
      FillRows(*target->sink, width, done, height);
      done = height;
    }
    if (done - reported >= kReportRows || done == height) {
      target->sink->RowsDone(done);
      reported = done;
    }
    if (done == height && made_up_from < height) {
      // The decoder never got to the end; it is reset, not finished.
      jpeg_abort_decompress(cinfo);
      target->outcome = Outcome::kDone;
      return;
    }
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
  jpeg_progress_mgr progress{};
  bool created = false;
};

CJpgLoader::CJpgLoader() : decompressor_(std::make_unique<Decompressor>()) {
  Decompressor& d = *decompressor_;
  d.cinfo.err = jpeg_std_error(&d.errors.pub);
  d.errors.pub.error_exit = ErrorExit;
  // Creation only fails when memory runs out; Open then refuses.
  d.created = Guarded<void>(d.errors, Create, &d.cinfo, nullptr);
  d.progress.progress_monitor = LimitScans;
  d.cinfo.progress = &d.progress;
}

CJpgLoader::~CJpgLoader() { jpeg_destroy_decompress(&decompressor_->cinfo); }

bool CJpgLoader::Begin() {
  Decompressor& d = *decompressor_;
  started_ = false;
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
  src->source = source_.get();

  // The size is checked before the decoder starts: a progressive file's
  // coefficients are allocated for the whole image there.
  if (!Guarded<void>(d.errors, ReadHeader, &d.cinfo, nullptr) ||
      !IsWithinPixelLimit(d.cinfo.image_width, d.cinfo.image_height) ||
      !Guarded<void>(d.errors, Start, &d.cinfo, nullptr)) {
    jpeg_abort_decompress(&d.cinfo);
    return false;
  }
  // CMYK and YCCK files come out with four components: not ours.
  if (d.cinfo.out_color_space != JCS_EXT_BGRX && d.cinfo.output_components != 1 &&
      d.cinfo.output_components != 3) {
    jpeg_abort_decompress(&d.cinfo);
    return false;
  }
  started_ = true;
  return true;
}

bool CJpgLoader::Open(const std::shared_ptr<CFileData>& source) {
  Decompressor& d = *decompressor_;
  if (!d.created || !source) return false;
  try {
    source_ = source;
    return Begin();
  } catch (const std::exception&) {
    return false;
  }
}

PlaneSize CJpgLoader::GetImageSize() {
  const jpeg_decompress_struct& cinfo = decompressor_->cinfo;
  return PlaneSize{static_cast<int32_t>(cinfo.image_width),
                   static_cast<int32_t>(cinfo.image_height)};
}

void CJpgLoader::Load(CPlane& plane, int32_t x, int32_t y) { LoadStreaming(plane, x, y, {}); }

void CJpgLoader::DecodeInto(IRowSink& sink) {
  Decompressor& d = *decompressor_;
  // The decompressor is used up by a decode; a second Load reads the file
  // again.
  if (!started_ && !Begin()) throw ImageLoadException(kLoadFailed);
  started_ = false;
  DecodeTarget target{&sink, Outcome::kLibraryError};
  bool finished = false;
  try {
    finished = Guarded(d.errors, Decode, &d.cinfo, &target);
  } catch (...) {
    jpeg_abort_decompress(&d.cinfo);
    throw ImageLoadException(kLoadFailed);
  }
  if (!finished || target.outcome != Outcome::kDone) {
    jpeg_abort_decompress(&d.cinfo);
    throw ImageLoadException(kLoadFailed);
  }
}

namespace {

// Rows straight into a plane that holds the whole image.
class PlaneRows final : public IRowSink {
 public:
  PlaneRows(uint8_t* bits, ptrdiff_t step, const std::function<void(int32_t)>& rows_ready)
      : bits_(bits), step_(step), rows_ready_(rows_ready) {}

  uint8_t* RowFor(int32_t y) override { return bits_ + step_ * y; }
  void RowsDone(int32_t rows) override {
    if (rows_ready_) rows_ready_(rows);
  }
  int32_t RowsInHand() const override { return std::numeric_limits<int32_t>::max(); }

 private:
  uint8_t* bits_;
  ptrdiff_t step_;
  std::function<void(int32_t)> rows_ready_;
};

}  // namespace

void CJpgLoader::LoadRows(IRowSink& sink) {
  if (!source_ || !decompressor_->created) throw ImageLoadException(kLoadFailed);
  DecodeInto(sink);
}

void CJpgLoader::LoadStreaming(CPlane& plane, int32_t x, int32_t y,
                               const std::function<void(int32_t)>& rows_ready) {
  if (!source_ || !decompressor_->created) throw ImageLoadException(kLoadFailed);
  const PlaneSize size = GetImageSize();
  // Decoded in place when the image lies wholly on a 32-bit plane;
  // otherwise through a plane of its own and the plane's Copy.
  if (plane.GetBitsPerPixel() == 32 && x >= 0 && y >= 0 &&
      int64_t{x} + size.width <= plane.GetWidth() &&
      int64_t{y} + size.height <= plane.GetHeight()) {
    const PlaneBitsLock lock(plane);
    PlaneRows rows(lock.Row(y) + 4 * static_cast<ptrdiff_t>(x), lock.Step(), rows_ready);
    DecodeInto(rows);
    return;
  }
  try {
    CMemoryPlane image(32);
    image.SetSize(size);
    {
      const PlaneBitsLock lock(image);
      PlaneRows rows(lock.Row(0), lock.Step(), {});
      DecodeInto(rows);
    }
    plane.Copy(image, x, y, PlaneRect{0, 0, size.width, size.height}, PlaneClip{});
  } catch (const std::exception&) {
    throw ImageLoadException(kLoadFailed);
  }
  if (rows_ready) rows_ready(size.height);
}

}  // namespace Orvex
