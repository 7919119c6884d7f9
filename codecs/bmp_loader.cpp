#include "codecs/bmp_loader.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "codecs/image_limits.h"
#include "foundation/files.h"
#include "imaging/bitmap_info.h"
#include "imaging/plane.h"

namespace Orvex {

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kHeadersBytes = 54;  // file header and BITMAPINFOHEADER
constexpr size_t kCoreHeaderBytes = 12;

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadS32(const uint8_t* p) { return static_cast<int32_t>(ReadU32(p)); }

// The largest pixel data we try to hold. Far beyond any screen, and beyond
// what a 32-bit process could allocate anyway; larger claims are refused as
// an allocation failure would be.
constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 30;

// The info header and colour table that the 12-byte core header of an
// OS/2 or Windows 2 bitmap stands for: 16-bit sizes, rows always bottom-up,
// 3-byte colour entries. Entries the file leaves out are black. Empty when
// the depth is none such a bitmap has.
std::vector<uint8_t> InfoHeaderFromCore(const uint8_t* data, size_t size, uint64_t offset) {
  const uint8_t* core = data + kFileHeaderBytes;
  const uint16_t bit_count = ReadU16(core + 10);
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24) return {};
  const BitmapInfoHeader info =
      MakeBitmapInfoHeader(ReadU16(core + 4), ReadU16(core + 6), bit_count);
  const size_t colors = bit_count <= 8 ? size_t{1} << bit_count : 0;
  std::vector<uint8_t> header(sizeof info + 4 * colors, 0);
  std::memcpy(header.data(), &info, sizeof info);
  const size_t table = kFileHeaderBytes + kCoreHeaderBytes;
  const uint64_t table_end = offset != 0 && offset < size ? offset : size;
  for (size_t i = 0; i < colors && table + 3 * i + 3 <= table_end; ++i) {
    std::memcpy(header.data() + sizeof info + 4 * i, data + table + 3 * i, 3);
  }
  return header;
}

}  // namespace

bool CBmpLoader::Open(const std::shared_ptr<CFileData>& source) {
  header_ = nullptr;
  pixels_ = nullptr;
  header_bytes_ = pixel_bytes_ = 0;
  padded_.clear();
  converted_header_.clear();
  source_.reset();
  if (!source) return false;

  const uint8_t* data = source->GetData();
  const size_t size = source->GetSize();
  if (size <= kFileHeaderBytes + kCoreHeaderBytes || data[0] != 0x42 || data[1] != 0x4D) {
    return false;
  }

  uint64_t offset = ReadU32(data + 10);
  const uint8_t* header = data + kFileHeaderBytes;
  size_t header_bytes = size - kFileHeaderBytes;
  if (ReadU32(header) == kCoreHeaderBytes) {
    converted_header_ = InfoHeaderFromCore(data, size, offset);
    if (converted_header_.empty()) return false;
    header = converted_header_.data();
    header_bytes = converted_header_.size();
    const size_t colors = (header_bytes - sizeof(BitmapInfoHeader)) / 4;
    if (offset == 0) offset = kFileHeaderBytes + kCoreHeaderBytes + 3 * colors;
  } else if (size <= kHeadersBytes) {
    return false;
  }
  const int32_t width = ReadS32(header + 4);
  const int32_t height = ReadS32(header + 8);
  const uint16_t bit_count = ReadU16(header + 14);
  // A negative width has no pixel-data size, and the absolute height of
  // INT32_MIN is no image size. No bitmap has more than 32 bits per pixel;
  // padding the data of a larger claim could cost a gigabyte for nothing.
  if (width < 0 || height == std::numeric_limits<int32_t>::min() || bit_count > 32) return false;

  if (offset == 0)
    offset = bit_count < 8 ? kHeadersBytes + (uint64_t{4} << bit_count) : kHeadersBytes;
  const uint64_t row_bytes = (uint64_t{bit_count} * static_cast<uint64_t>(width) + 31) / 32 * 4;
  const uint64_t rows = static_cast<uint64_t>(std::abs(static_cast<int64_t>(height)));
  if (rows != 0 && row_bytes > kMaxPixelBytes / rows) throw std::bad_alloc();
  // Refused before the missing data is padded: a short file may claim any
  // size, compressed or not.
  if (!IsWithinPixelLimit(width, static_cast<int64_t>(rows))) return false;
  const uint64_t data_bytes = rows * row_bytes;

  if (offset <= size && data_bytes <= size - offset) {
    pixels_ = data + offset;
    // Compressed data need not fit the computed size, so everything up to
    // the end of the file may be read.
    pixel_bytes_ = size - offset;
  } else {
    padded_.assign(static_cast<size_t>(data_bytes), 0);
    if (offset < size) std::memcpy(padded_.data(), data + offset, size - offset);
    pixels_ = padded_.data();
    pixel_bytes_ = padded_.size();
  }
  header_ = header;
  header_bytes_ = header_bytes;
  source_ = source;
  return true;
}

PlaneSize CBmpLoader::GetImageSize() {
  const int32_t height = ReadS32(header_ + 8);
  return PlaneSize{ReadS32(header_ + 4), height < 0 ? -height : height};
}

void CBmpLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  plane.DrawDib(header_, header_bytes_, pixels_, pixel_bytes_, x, y,
                PlaneRect{0, 0, 0x3FFFFFFF, 0x3FFFFFFF}, PlaneClip{});
}

bool CBmpLoader::HasAlpha() { return header_ && ReadU16(header_ + 14) == 32; }

}  // namespace Orvex
