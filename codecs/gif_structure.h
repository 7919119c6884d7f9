#pragma once

#include <cstddef>
#include <cstdint>

namespace Orvex {

// True for data that begins as a GIF does ("GIF87a" or "GIF89a").
bool IsGif(const uint8_t* data, size_t size);

// True when the blocks of the GIF in `data` all end within it and end with
// the trailer, and the compressed data of each picture gives all of its
// pixels with codes that the table has: the file was written whole and
// read back unharmed.
bool IsWholeGif(const uint8_t* data, size_t size);

}  // namespace Orvex
