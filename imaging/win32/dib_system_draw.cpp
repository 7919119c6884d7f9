#include "imaging/dib_system_draw.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"
#include "imaging/bitmap_info.h"

namespace Orvex::Detail {

namespace {

// Restores the device context's clipping on every exit.
class SavedDc {
 public:
  explicit SavedDc(HDC dc) : dc_(dc), saved_(SaveDC(dc)) {}
  SavedDc(const SavedDc&) = delete;
  SavedDc& operator=(const SavedDc&) = delete;
  ~SavedDc() {
    if (saved_) RestoreDC(dc_, saved_);
  }
  bool Ok() const { return saved_ != 0; }

 private:
  HDC dc_;
  int saved_;
};

}  // namespace

bool DrawDibThroughSystem(PlaneDeviceContext context, const DibSource& dib, const PlaneRect& target,
                          int32_t origin_x, int32_t origin_y) {
  constexpr const char16_t* kDrawFailed = u"ビットマップからの描画に失敗しました";
  HDC dc = static_cast<HDC>(context);
  if (!dc) return false;

  // The system gets a header rebuilt from the checked one, so that it reads
  // no colour table, masks or data beyond what was checked: a full colour
  // table (unused entries black), the masks right after the header, and
  // for run-length data the size that may be read.
  const bool compressed = dib.compression == kBitmapRle4 || dib.compression == kBitmapRle8;
  const uint32_t colors = dib.bit_count <= 8 ? 1u << dib.bit_count : 0;
  std::vector<uint8_t> info(sizeof(BitmapInfoHeader) + 12 + 4 * size_t{colors});
  BitmapInfoHeader header = MakeBitmapInfoHeader(
      dib.width, dib.bottom_up ? dib.height : -dib.height, static_cast<uint16_t>(dib.bit_count));
  header.biCompression = dib.compression;
  header.biSizeImage =
      compressed ? static_cast<uint32_t>(std::min<size_t>(dib.bits_bytes, UINT32_MAX)) : 0;
  header.biClrUsed = colors;
  std::memcpy(info.data(), &header, sizeof header);
  size_t at = sizeof header;
  if (dib.compression == kBitmapBitFields) {
    std::memcpy(info.data() + at, dib.masks, 12);
    at += 12;
  }
  std::memcpy(info.data() + at, dib.palette, 4 * size_t{colors});

  SavedDc saved(dc);
  if (!saved.Ok() ||
      IntersectClipRect(dc, target.left, target.top, target.right, target.bottom) == ERROR) {
    throw Win32Exception(kDrawFailed);
  }
  // The whole image is handed over and the clip region limits it: source
  // offsets of bottom-up and top-down bitmaps count from different corners.
  const int lines =
      SetDIBitsToDevice(dc, origin_x, origin_y, static_cast<DWORD>(dib.width),
                        static_cast<DWORD>(dib.height), 0, 0, 0, static_cast<UINT>(dib.height),
                        dib.bits, reinterpret_cast<const BITMAPINFO*>(info.data()), DIB_RGB_COLORS);
  if (lines == 0) throw Win32Exception(kDrawFailed);
  return true;
}

}  // namespace Orvex::Detail
