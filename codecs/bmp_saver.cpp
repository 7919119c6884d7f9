#include "codecs/bmp_saver.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "foundation/exceptions.h"
#include "foundation/file_system.h"
#include "foundation/files.h"
#include "imaging/plane.h"

namespace Orvex {

namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kHeadersBytes = 54;
constexpr uint32_t kGreyTableBytes = 1024;
constexpr int32_t kPixelsPerMeter = 3780;  // 96 dots per inch

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
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

  if (depth != 8 && depth != 24) {
    CMemoryPlane converted(24);
    converted.SetSize(PlaneSize{width, height});
    if (!Contains(plane.GetBounds(), rect)) converted.FillAll(0);
    converted.Copy(plane, 0, 0, rect, PlaneClip{});
    Save(file_name, converted, PlaneRect{0, 0, width, height});
    return;
  }

  const uint32_t bytes_per_pixel = depth / 8;
  const uint64_t row_bytes = (uint64_t{bytes_per_pixel} * width + 3) / 4 * 4;
  const uint32_t offset = kHeadersBytes + (depth == 8 ? kGreyTableBytes : 0);
  const uint64_t file_bytes = offset + row_bytes * static_cast<uint64_t>(height);
  if (file_bytes > std::numeric_limits<uint32_t>::max() ||
      row_bytes > static_cast<uint64_t>(std::numeric_limits<int>::max())) {
    throw IOException(file_name + u" への書き込みに失敗");
  }

  CreateDirectories(file_name);
  CApiFile file(file_name, 1, 1);
  file.Reserve(static_cast<uint32_t>(file_bytes));

  std::array<uint8_t, kHeadersBytes> headers{};
  uint8_t* h = headers.data();
  PutU16(h + 0, 0x4D42);
  PutU32(h + 2, static_cast<uint32_t>(file_bytes));
  PutU32(h + 10, offset);
  PutU32(h + 14, 40);
  PutU32(h + 18, static_cast<uint32_t>(width));
  PutU32(h + 22, static_cast<uint32_t>(height));
  PutU16(h + 26, 1);
  PutU16(h + 28, static_cast<uint32_t>(depth));
  PutU32(h + 38, kPixelsPerMeter);
  PutU32(h + 42, kPixelsPerMeter);
  PutU32(h + 46, depth == 8 ? 256 : 0);
  file.Write(headers.data(), kFileHeaderSize);
  file.Write(headers.data() + kFileHeaderSize, kHeadersBytes - kFileHeaderSize);

  if (depth == 8) {
    std::array<uint8_t, kGreyTableBytes> table{};
    for (int i = 0; i < 256; ++i) std::memset(&table[i * 4], i, 3);
    try {
      file.Write(table.data(), kGreyTableBytes);
    } catch (const IOException&) {
      throw IOException(file_name + u" への書き込みに失敗");
    }
  }

  // Rows are assembled in a buffer with their padding so that each takes one
  // write; pixels outside the plane stay black.
  std::vector<uint8_t> row(static_cast<size_t>(row_bytes));
  const PlaneRect inside = Intersect(rect, plane.GetBounds());
  PlaneBitsLock lock(plane);
  for (int32_t y = rect.bottom - 1; y >= rect.top; --y) {
    if (!inside.IsEmpty() && y >= inside.top && y < inside.bottom) {
      std::memcpy(row.data() + (inside.left - rect.left) * bytes_per_pixel,
                  lock.Row(y) + inside.left * bytes_per_pixel,
                  static_cast<size_t>(inside.Width()) * bytes_per_pixel);
    } else {
      std::fill(row.begin(), row.end(), uint8_t{0});
    }
    file.Write(row.data(), static_cast<int>(row.size()));
  }
}

}  // namespace Orvex
