#include "imaging/dib_source.h"

#include <cstring>
#include <limits>

#include "foundation/exceptions.h"
#include "imaging/bitmap_info.h"

namespace Orvex::Detail {

namespace {

[[noreturn]] void Refuse() { throw RuntimeException(u"ビットマップからの描画に失敗しました"); }

uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

bool IsSupportedFormat(int bit_count, uint32_t compression) {
  switch (bit_count) {
    case 1:
      return compression == kBitmapRgb;
    case 4:
      return compression == kBitmapRgb || compression == kBitmapRle4;
    case 8:
      return compression == kBitmapRgb || compression == kBitmapRle8;
    case 16:
    case 32:
      return compression == kBitmapRgb || compression == kBitmapBitFields;
    case 24:
      return compression == kBitmapRgb;
    default:
      return false;
  }
}

}  // namespace

DibSource ReadDibSource(const void* header, size_t header_bytes, const void* bits,
                        size_t bits_bytes) {
  if (!header || !bits || header_bytes < sizeof(BitmapInfoHeader)) Refuse();
  const uint8_t* head = static_cast<const uint8_t*>(header);
  BitmapInfoHeader info;
  std::memcpy(&info, head, sizeof info);
  // Shorter headers (the old 12-byte core header) place their fields
  // differently; longer ones (V4, V5) begin like this one.
  if (info.biSize < sizeof(BitmapInfoHeader) || info.biSize > header_bytes) Refuse();

  DibSource dib{};
  dib.bit_count = info.biBitCount;
  dib.compression = info.biCompression;
  if (!IsSupportedFormat(dib.bit_count, dib.compression)) Refuse();
  if (info.biWidth < 0 || info.biHeight == std::numeric_limits<int32_t>::min()) Refuse();
  dib.width = info.biWidth;
  dib.height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
  dib.bottom_up = info.biHeight > 0;
  const bool compressed = dib.compression == kBitmapRle4 || dib.compression == kBitmapRle8;
  // Run-length data is defined only for rows stored bottom-up.
  if (compressed && !dib.bottom_up) Refuse();

  // Sizes in 64 bits: width * bit count fits, the product with the height
  // is checked.
  const uint64_t row_bytes = (uint64_t(dib.width) * uint64_t(dib.bit_count) + 31) / 32 * 4;
  const uint64_t pixels = uint64_t(dib.width) * uint64_t(dib.height);
  if (pixels > uint64_t(std::numeric_limits<ptrdiff_t>::max()) / 4) Refuse();
  if (row_bytes > uint64_t(std::numeric_limits<size_t>::max())) Refuse();
  dib.row_bytes = static_cast<size_t>(row_bytes);
  if (!compressed && dib.height > 0 &&
      row_bytes > uint64_t(std::numeric_limits<size_t>::max()) / uint64_t(dib.height)) {
    Refuse();
  }
  const uint64_t image_bytes = row_bytes * uint64_t(dib.height);
  if (!compressed && image_bytes > bits_bytes) Refuse();
  dib.bits = static_cast<const uint8_t*>(bits);
  dib.bits_bytes = compressed ? bits_bytes : static_cast<size_t>(image_bytes);

  if (dib.bit_count <= 8) {
    const uint32_t max_colors = 1u << dib.bit_count;
    const uint32_t colors =
        info.biClrUsed == 0 || info.biClrUsed > max_colors ? max_colors : info.biClrUsed;
    if ((header_bytes - info.biSize) / 4 < colors) Refuse();
    for (uint32_t i = 0; i < colors; ++i) {
      dib.palette[i] = LoadU32(head + info.biSize + 4 * i) & 0x00FFFFFF;
    }
  } else if (dib.compression == kBitmapBitFields) {
    // The masks follow a plain info header, and are part of longer ones.
    const size_t offset = info.biSize == sizeof(BitmapInfoHeader) ? info.biSize : 40;
    if (header_bytes < offset + 12) Refuse();
    for (int i = 0; i < 3; ++i) dib.masks[i] = LoadU32(head + offset + 4 * i);
  } else if (dib.bit_count == 16) {
    dib.masks[0] = 0x7C00;
    dib.masks[1] = 0x03E0;
    dib.masks[2] = 0x001F;
  } else {
    dib.masks[0] = 0x00FF0000;
    dib.masks[1] = 0x0000FF00;
    dib.masks[2] = 0x000000FF;
  }
  return dib;
}

}  // namespace Orvex::Detail
