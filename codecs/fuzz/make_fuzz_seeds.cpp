// Writes small valid BMP, JPEG and PNG files as starting points for the
// fuzzers: make_fuzz_seeds OUT_DIR makes OUT_DIR/{bmp,jpeg,png}/.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "codecs/test_images.h"

namespace {

using Orvex::Testing::Bytes;
namespace fs = std::filesystem;

void Put(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream(dir / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes Samples(int width, int height, int components) {
  Bytes samples;
  for (int i = 0; i < width * height * components; ++i) samples.push_back(uint8_t(i * 37 + i / 7));
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds OUT_DIR\n");
    return 2;
  }
  const fs::path out = argv[1];
  for (const char* kind : {"bmp", "jpeg", "png"}) fs::create_directories(out / kind);

  using Orvex::Testing::MakeBmp;
  Bytes grey_table, mono_table{0, 0, 0, 0, 255, 255, 255, 0};
  for (int i = 0; i < 256; ++i)
    grey_table.insert(grey_table.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
  Put(out / "bmp", "24.bmp", MakeBmp(5, 3, 24, {}, Samples(16, 3, 1)));
  Put(out / "bmp", "32-topdown.bmp", MakeBmp(3, -2, 32, {}, Samples(12, 2, 1)));
  Put(out / "bmp", "8.bmp", MakeBmp(6, 2, 8, grey_table, Samples(8, 2, 1)));
  Put(out / "bmp", "4.bmp",
      MakeBmp(7, 2, 4, Bytes(grey_table.begin(), grey_table.begin() + 64), Samples(4, 2, 1)));
  Put(out / "bmp", "1.bmp", MakeBmp(33, 2, 1, mono_table, Samples(8, 2, 1)));
  Put(out / "bmp", "rle8.bmp", [&] {
    Bytes file = MakeBmp(4, 2, 8, grey_table, Bytes{2, 7, 0, 2, 1, 1, 0, 0, 4, 9, 0, 1});
    file[30] = 1;  // BI_RLE8
    return file;
  }());
  // The 12-byte core header of OS/2 bitmaps: 16-bit sizes, 3-byte colours.
  Put(out / "bmp", "core-24.bmp",
      Bytes{'B', 'M', 42, 0,  0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0,  0,  2,  0, 2,
            0,   1,   0,  24, 0, 1, 2, 3, 4, 5, 6,  0, 0, 7, 8,  9, 10, 11, 12, 0, 0});

  using Orvex::Testing::EncodeJpeg;
  Put(out / "jpeg", "colour.jpg", EncodeJpeg(19, 11, 3, Samples(19, 11, 3)));
  Put(out / "jpeg", "grey.jpg", EncodeJpeg(9, 17, 1, Samples(9, 17, 1)));
  Put(out / "jpeg", "progressive.jpg", EncodeJpeg(16, 16, 3, Samples(16, 16, 3), 80, true));
  Put(out / "jpeg", "cmyk.jpg", EncodeJpeg(8, 8, 4, Samples(8, 8, 4)));

  using Orvex::Testing::PngImage;
  auto png = [&](const char* name, int color_type, int depth, bool interlaced, int width = 7,
                 int height = 5) {
    PngImage image;
    image.width = width;
    image.height = height;
    image.color_type = color_type;
    image.bit_depth = depth;
    image.interlaced = interlaced;
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const size_t row_bytes = (size_t(width) * channels[color_type] * depth + 7) / 8;
    for (int y = 0; y < height; ++y) image.rows.push_back(Samples(int(row_bytes), 1, 1));
    if (color_type == 3) image.palette = Samples(1 << depth, 3, 1);
    if (color_type == 3) image.trns = {0, 128};
    if (color_type == 2 && depth == 8) image.trns = {0, 1, 0, 2, 0, 3};
    if (interlaced) image.gamma = 1.0;
    Put(out / "png", name, Orvex::Testing::EncodePng(image));
  };
  png("grey1.png", 0, 1, false);
  png("grey4-interlaced.png", 0, 4, true);
  png("grey16.png", 0, 16, false);
  png("rgb8-trns.png", 2, 8, false);
  png("rgb16-interlaced.png", 2, 16, true);
  png("palette2.png", 3, 2, false);
  png("palette8-interlaced.png", 3, 8, true);
  png("grey-alpha8.png", 4, 8, false);
  png("rgba16.png", 6, 16, false);
  png("rgba8-interlaced.png", 6, 8, true, 9, 9);
  return 0;
}
