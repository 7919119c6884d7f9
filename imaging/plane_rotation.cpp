#include "imaging/plane_rotation.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "imaging/plane32.h"

namespace Orvex {

namespace {

int64_t Modulo(int64_t value, int64_t size) {
  const int64_t m = value % size;
  return m < 0 ? m + size : m;
}

}  // namespace

void RotatePlane(CPlane32& plane, int64_t dx, int64_t dy) {
  const int32_t width = plane.GetWidth();
  const int32_t height = plane.GetHeight();
  if (width <= 0 || height <= 0) return;
  const int64_t shift_x = Modulo(dx, width);
  const int64_t shift_y = Modulo(dy, height);
  const PlaneBitsLock bits(plane);
  if (shift_x != 0) {
    for (int32_t y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bits.Row(y));
      std::rotate(row, row + (width - shift_x), row + width);
    }
  }
  if (shift_y == 0) return;
  // Rows move along cycles of the permutation y -> y + shift_y; each cycle
  // needs one row of room.
  const size_t row_bytes = 4 * static_cast<size_t>(width);
  std::vector<uint8_t> held(row_bytes);
  const int64_t cycles = std::gcd(shift_y, int64_t{height});
  for (int64_t start = 0; start < cycles; ++start) {
    std::memcpy(held.data(), bits.Row(static_cast<int32_t>(start)), row_bytes);
    int64_t to = start;
    for (;;) {
      const int64_t from = Modulo(to - shift_y, height);
      if (from == start) break;
      std::memcpy(bits.Row(static_cast<int32_t>(to)), bits.Row(static_cast<int32_t>(from)),
                  row_bytes);
      to = from;
    }
    std::memcpy(bits.Row(static_cast<int32_t>(to)), held.data(), row_bytes);
  }
}

}  // namespace Orvex
