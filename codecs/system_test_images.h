#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Orvex::Testing {

// Small GIF and ICO files for the tests of the system decoders, written
// here so that no decoder under test has a hand in them.

// A GIF of up to four colours (r, g, b triples); `indexes` holds one colour
// index per pixel, rows top-down.
std::string MakeGif(int width, int height, const std::vector<uint32_t>& colors_rgb,
                    const std::vector<uint8_t>& indexes);

// A 32-bit icon with one image; `pixels_argb` holds 0xAARRGGBB per pixel,
// rows top-down.
std::string MakeIco(int width, int height, const std::vector<uint32_t>& pixels_argb);

}  // namespace Orvex::Testing
