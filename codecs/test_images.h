#pragma once

// Small image files made on the spot for the codec tests and the fuzzing
// seeds, and a scratch folder to put them in.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "foundation/shared_string.h"

namespace Orvex {
class CFileData;
}

namespace Orvex::Testing {

using Bytes = std::vector<uint8_t>;

// Interleaved 8-bit samples, `components` per pixel: 1 grey, 3 RGB, 4 CMYK.
Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples, int quality = 95,
                 bool progressive = false);

struct PngImage {
  int width = 0;
  int height = 0;
  int color_type = 2;  // PNG colour type: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA
  int bit_depth = 8;
  bool interlaced = false;
  // Rows packed as PNG stores them (16-bit samples big-endian), without
  // filter bytes.
  std::vector<Bytes> rows;
  std::vector<uint8_t> palette;  // R, G, B per entry
  std::vector<uint8_t> trns;     // tRNS chunk payload as stored in the file
  std::optional<double> gamma;   // gAMA chunk
};
Bytes EncodePng(const PngImage& image);

// An uncompressed "BM" file with a 40-byte info header; `pixels` are the
// stored rows (bottom-up for a positive height), already padded.
Bytes MakeBmp(int32_t width, int32_t height, uint16_t bit_count, const Bytes& color_table,
              const Bytes& pixels, uint32_t off_bits_override = 0xFFFFFFFF);

// A folder of its own under the system's temporary folder, removed with
// its contents when the object goes.
class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  SharedString PathOf(const char* name) const;
  SharedString Write(const char* name, const Bytes& bytes) const;
  std::shared_ptr<CFileData> Load(const char* name, const Bytes& bytes) const;

 private:
  std::filesystem::path path_;
};

SharedString ToShared(const std::filesystem::path& path);
Bytes ReadAll(const std::filesystem::path& path);

}  // namespace Orvex::Testing

namespace Orvex {
class CPlane;
}

namespace Orvex::Testing {

// The pixel at (x, y) of a 32-bit plane as its little-endian word
// (0xAARRGGBB).
uint32_t PixelAt(const CPlane& plane, int32_t x, int32_t y);

}  // namespace Orvex::Testing
