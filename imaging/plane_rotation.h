#pragma once

#include <cstdint>

namespace Orvex {

class CPlane32;

// Shifts the picture cyclically in place: the pixel at (x, y) moves to
// ((x + dx) mod width, (y + dy) mod height), and what leaves one edge comes
// back at the other. Any shift, negative ones included, is taken modulo the
// size; no second plane is needed.
void RotatePlane(CPlane32& plane, int64_t dx, int64_t dy);

}  // namespace Orvex
