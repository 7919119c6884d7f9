#include "codecs/bmp_saver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "imaging/plane.h"

namespace Orvex {

namespace {

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kHeadersBytes = kFileHeaderBytes + kInfoHeaderBytes;
constexpr uint32_t kGreyTableBytes = 1024;
constexpr int32_t kPixelsPerMeter = 3780;  // 96 dots per inch
// Bytes of pixel rows given to the file in one write.
constexpr uint64_t kWriteChunk = 1 << 20;

// Little-endian fields appended in the order the file lays them out.
class CFieldWriter {
 public:
  void U16(uint32_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  void Put(uint32_t v, int size) {
    for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }

  std::vector<uint8_t> bytes_;
};

// The file header and the 40-byte info header of an uncompressed bottom-up
// bitmap whose pixels start at `offset` and whose file has `file_bytes`.
std::vector<uint8_t> BitmapHeaders(int32_t width, int32_t height, int file_depth,
                                   uint32_t file_bytes, uint32_t offset) {
  CFieldWriter h;
  h.U16(0x4D42);  // "BM"
  h.U32(file_bytes);
  h.U32(0);  // two reserved words
  h.U32(offset);
  h.U32(kInfoHeaderBytes);
  h.U32(static_cast<uint32_t>(width));
  h.U32(static_cast<uint32_t>(height));
  h.U16(1);  // colour planes
  h.U16(static_cast<uint32_t>(file_depth));
  h.U32(0);  // uncompressed
  h.U32(0);  // the image size, which uncompressed bitmaps may leave out
  h.U32(kPixelsPerMeter);
  h.U32(kPixelsPerMeter);
  h.U32(file_depth == 8 ? 256 : 0);  // colours in the table
  h.U32(0);                          // all of them matter
  return h.Take();
}

// B, G, R, A to B, G, R. Each step stores four bytes, the fourth of which
// the next step overwrites; the last pixel stores three.
void DropFourthBytes(uint8_t* out, const uint8_t* in, int32_t count) {
  if (count <= 0) return;
  for (int32_t x = 0; x + 1 < count; ++x, in += 4, out += 3) std::memcpy(out, in, 4);
  std::memcpy(out, in, 3);
}

bool Contains(const PlaneRect& outer, const PlaneRect& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

}  // namespace

void CBmpSaver::Save(const SharedString& file_name, const CPlane& plane, const PlaneRect& rect) {
  if (rect.IsEmpty() || rect.Width() > std::numeric_limits<int32_t>::max() ||
      rect.Height() > std::numeric_limits<int32_t>::max()) {
    throw IOException(file_name + u" への書き込みに失敗");
  }
  const int32_t width = static_cast<int32_t>(rect.Width());
  const int32_t height = static_cast<int32_t>(rect.Height());
  const int depth = plane.GetBitsPerPixel();

  if (depth != 8 && depth != 24 && depth != 32) {
    CMemoryPlane converted(24);
    converted.SetSize(PlaneSize{width, height});
    if (!Contains(plane.GetBounds(), rect)) converted.FillAll(0);
    converted.Copy(plane, 0, 0, rect, PlaneClip{});
    Save(file_name, converted, PlaneRect{0, 0, width, height});
    return;
  }

  // 32-bit planes are written as 24-bit files, their fourth byte dropped
  // row by row on the way out.
  const int file_depth = depth == 32 ? 24 : depth;
  const uint32_t bytes_per_pixel = file_depth / 8;
  const uint32_t plane_bytes_per_pixel = depth / 8;
  const uint64_t row_bytes = (uint64_t{bytes_per_pixel} * width + 3) / 4 * 4;
  const uint32_t offset = kHeadersBytes + (file_depth == 8 ? kGreyTableBytes : 0);
  const uint64_t file_bytes = offset + row_bytes * static_cast<uint64_t>(height);
  if (file_bytes > std::numeric_limits<uint32_t>::max() ||
      row_bytes > static_cast<uint64_t>(std::numeric_limits<int>::max())) {
    throw IOException(file_name + u" への書き込みに失敗");
  }

  CreateDirectories(file_name);
  // The desktop shows this file: a write that fails halfway must leave the
  // last wallpaper whole, not half of a new one.
  WriteFileReplacing(file_name, u" への書き込みに失敗", [&](const SharedString& path) {
    CApiFile file(path, 1, 1);
    file.Reserve(static_cast<uint32_t>(file_bytes));

    const std::vector<uint8_t> headers =
        BitmapHeaders(width, height, file_depth, static_cast<uint32_t>(file_bytes), offset);
    file.Write(headers.data(), static_cast<int>(headers.size()));

    if (file_depth == 8) {
      std::array<uint8_t, kGreyTableBytes> table{};
      for (int i = 0; i < 256; ++i) std::memset(&table[i * 4], i, 3);
      file.Write(table.data(), kGreyTableBytes);
    }

    // Rows are assembled with their padding in a buffer of several rows, so
    // that the file gets few large writes; pixels outside the plane stay
    // black. Every row of the buffer keeps the same columns, so what is
    // black once stays black.
    const int32_t batch_rows =
        static_cast<int32_t>(std::clamp<uint64_t>(kWriteChunk / row_bytes, 1, uint64_t(height)));
    std::vector<uint8_t> batch(static_cast<size_t>(row_bytes) * batch_rows);
    const PlaneRect inside = Intersect(rect, plane.GetBounds());
    const size_t inside_offset = static_cast<size_t>(inside.left - rect.left) * bytes_per_pixel;
    PlaneBitsLock lock(plane);
    int32_t filled = 0;
    for (int32_t y = rect.bottom - 1; y >= rect.top; --y) {
      uint8_t* row = batch.data() + static_cast<size_t>(row_bytes) * filled;
      if (!inside.IsEmpty() && y >= inside.top && y < inside.bottom) {
        const uint8_t* in = lock.Row(y) + inside.left * plane_bytes_per_pixel;
        if (depth == 32) {
          DropFourthBytes(row + inside_offset, in, static_cast<int32_t>(inside.Width()));
        } else {
          std::memcpy(row + inside_offset, in,
                      static_cast<size_t>(inside.Width()) * bytes_per_pixel);
        }
      } else {
        std::memset(row, 0, static_cast<size_t>(row_bytes));
      }
      if (++filled == batch_rows || y == rect.top) {
        file.Write(batch.data(), static_cast<int>(static_cast<size_t>(row_bytes) * filled));
        filled = 0;
      }
    }
  });
}

}  // namespace Orvex
