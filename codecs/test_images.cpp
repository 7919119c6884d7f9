#include "codecs/test_images.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on
#include <png.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "foundation/files.h"

namespace Orvex::Testing {

namespace {

[[noreturn]] void JpegFail(j_common_ptr) { throw std::runtime_error("libjpeg could not encode"); }

void AppendToVector(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

void PutU16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

Bytes EncodeJpeg(int width, int height, int components, const Bytes& samples, int quality,
                 bool progressive) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  // Test-only code built with unwind tables around a library call that
  // never fails for these small, well-formed inputs.
  errors.error_exit = JpegFail;
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = components;
  cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(samples.data() + size_t{cinfo.next_scanline} * width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

Bytes EncodePng(const PngImage& image) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not encode");
  }
  png_set_write_fn(png, &out, AppendToVector, NoFlush);
  png_set_IHDR(png, info, image.width, image.height, image.bit_depth, image.color_type,
               image.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (size_t i = 0; i + 2 < image.palette.size(); i += 3) {
    palette.push_back(png_color{image.palette[i], image.palette[i + 1], image.palette[i + 2]});
  }
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  if (!image.trns.empty()) {
    if (image.color_type == PNG_COLOR_TYPE_PALETTE) {
      png_set_tRNS(png, info, image.trns.data(), static_cast<int>(image.trns.size()), nullptr);
    } else {
      png_color_16 colour{};
      auto sample = [&](size_t i) {
        return static_cast<png_uint_16>(image.trns[i] << 8 | image.trns[i + 1]);
      };
      if (image.color_type == PNG_COLOR_TYPE_GRAY) {
        colour.gray = sample(0);
      } else {
        colour.red = sample(0);
        colour.green = sample(2);
        colour.blue = sample(4);
      }
      png_set_tRNS(png, info, nullptr, 0, &colour);
    }
  }
  if (image.gamma) png_set_gAMA(png, info, *image.gamma);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (const Bytes& row : image.rows) png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

Bytes MakeBmp(int32_t width, int32_t height, uint16_t bit_count, const Bytes& color_table,
              const Bytes& pixels, uint32_t off_bits_override) {
  const uint32_t off_bits = 54 + static_cast<uint32_t>(color_table.size());
  Bytes file(off_bits, 0);
  file[0] = 'B';
  file[1] = 'M';
  PutU32(file, 2, off_bits + static_cast<uint32_t>(pixels.size()));
  PutU32(file, 10, off_bits_override == 0xFFFFFFFF ? off_bits : off_bits_override);
  PutU32(file, 14, 40);
  PutU32(file, 18, static_cast<uint32_t>(width));
  PutU32(file, 22, static_cast<uint32_t>(height));
  PutU16(file, 26, 1);
  PutU16(file, 28, bit_count);
  PutU32(file, 46, static_cast<uint32_t>(color_table.size() / 4));
  if (!color_table.empty()) std::memcpy(file.data() + 54, color_table.data(), color_table.size());
  file.insert(file.end(), pixels.begin(), pixels.end());
  return file;
}

TempFolder::TempFolder() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  path_ = std::filesystem::temp_directory_path() /
          ("pelmora-codecs-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SharedString TempFolder::PathOf(const char* name) const { return ToShared(path_ / name); }

SharedString TempFolder::Write(const char* name, const Bytes& bytes) const {
  std::ofstream out(path_ / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write a test file");
  return PathOf(name);
}

std::shared_ptr<CFileData> TempFolder::Load(const char* name, const Bytes& bytes) const {
  return std::make_shared<CFileData>(Write(name, bytes));
}

SharedString ToShared(const std::filesystem::path& path) {
  const std::u16string text = path.u16string();
  return SharedString(text.data(), text.size());
}

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace Orvex::Testing

#include "imaging/plane.h"

namespace Orvex::Testing {

uint32_t PixelAt(const CPlane& plane, int32_t x, int32_t y) {
  PlaneBitsLock lock(plane);
  const uint8_t* p = lock.Row(y) + x * 4;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace Orvex::Testing
