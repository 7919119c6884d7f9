#include "codecs/system_test_images.h"

namespace Orvex::Testing {

namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8 & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string MakeGif(int width, int height, const std::vector<uint32_t>& colors_rgb,
                    const std::vector<uint8_t>& indexes) {
  std::string out = "GIF89a";
  Put16(out, width);
  Put16(out, height);
  out.push_back(char(0x81));  // global colour table of 4 entries
  out.push_back(0);
  out.push_back(0);
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t c = i < colors_rgb.size() ? colors_rgb[i] : 0;
    out.push_back(char(c >> 16 & 0xFF));
    out.push_back(char(c >> 8 & 0xFF));
    out.push_back(char(c & 0xFF));
  }
  out.push_back(',');
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, width);
  Put16(out, height);
  out.push_back(0);

  // LZW with 2-bit literals: a clear code before every pair of literals
  // keeps the table below 8 entries, so every code stays 3 bits wide.
  constexpr int kClear = 4;
  constexpr int kEnd = 5;
  std::vector<int> codes;
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (i % 2 == 0) codes.push_back(kClear);
    codes.push_back(indexes[i] & 3);
  }
  codes.push_back(kEnd);
  std::string data;
  uint32_t bits = 0;
  int count = 0;
  for (int code : codes) {
    bits |= uint32_t(code) << count;
    count += 3;
    while (count >= 8) {
      data.push_back(char(bits & 0xFF));
      bits >>= 8;
      count -= 8;
    }
  }
  if (count > 0) data.push_back(char(bits & 0xFF));

  out.push_back(2);  // minimum code size
  for (size_t at = 0; at < data.size(); at += 255) {
    const std::string block = data.substr(at, 255);
    out.push_back(char(block.size()));
    out += block;
  }
  out.push_back(0);
  out.push_back(';');
  return out;
}

std::string MakeIco(int width, int height, const std::vector<uint32_t>& pixels_argb) {
  const uint32_t mask_row = (uint32_t(width) + 31) / 32 * 4;
  const uint32_t image_bytes = 40 + uint32_t(width * height) * 4 + mask_row * height;
  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, 1);  // one image
  out.push_back(char(width));
  out.push_back(char(height));
  out.push_back(0);
  out.push_back(0);
  Put16(out, 1);
  Put16(out, 32);
  Put32(out, image_bytes);
  Put32(out, 22);
  // The bitmap header counts the colour rows and the mask rows.
  Put32(out, 40);
  Put32(out, width);
  Put32(out, height * 2);
  Put16(out, 1);
  Put16(out, 32);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) Put32(out, pixels_argb[size_t(y * width + x)]);
  }
  // The mask marks fully transparent pixels, for decoders that use it.
  for (int y = height - 1; y >= 0; --y) {
    std::string row(mask_row, '\0');
    for (int x = 0; x < width; ++x) {
      if ((pixels_argb[size_t(y * width + x)] >> 24) == 0) row[x / 8] |= char(0x80 >> (x % 8));
    }
    out += row;
  }
  return out;
}

}  // namespace Orvex::Testing
