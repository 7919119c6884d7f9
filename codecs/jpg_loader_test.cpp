#include "codecs/jpg_loader.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "codecs/test_images.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

using Testing::Bytes;
using Testing::PixelAt;

// A smooth picture, so that lossy coding keeps it close.
Bytes Gradient(int width, int height, int components) {
  Bytes samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t v[4] = {uint8_t(x * 255 / width), uint8_t(y * 255 / height), 160, 40};
      samples.insert(samples.end(), v, v + components);
    }
  }
  return samples;
}

// A photograph's worth of detail: smooth random shading plus grain.
Bytes PhotoLike(int width, int height, int components, uint32_t seed) {
  std::mt19937 engine(seed);
  std::uniform_real_distribution<double> phase(0, 6.28);
  double p[8];
  for (double& v : p) v = phase(engine);
  Bytes samples;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < components; ++c) {
        const double v = 128 + 60 * std::sin(x * 0.05 + p[c]) * std::cos(y * 0.07 + p[c + 3]) +
                         30 * std::sin((x + y) * 0.21 + p[6]) + int(engine() % 21) - 10;
        samples.push_back(static_cast<uint8_t>(std::clamp(v, 0.0, 255.0)));
      }
    }
  }
  return samples;
}

// What libjpeg makes of a valid file with its default settings, as B, G,
// R, 0 pixels: the result the loader has to reproduce exactly.
std::vector<uint32_t> LibraryDecode(const Bytes& file) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  const int components = cinfo.output_components;
  std::vector<uint8_t> row(cinfo.output_width * components);
  std::vector<uint32_t> pixels;
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
    for (size_t x = 0; x < cinfo.output_width; ++x) {
      const uint8_t* s = &row[x * components];
      pixels.push_back(components == 3 ? (s[0] << 16 | s[1] << 8 | s[2]) : s[0] * 0x010101u);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return pixels;
}

class JpgLoaderTest : public testing::Test {
 protected:
  Testing::TempFolder folder_;
};

TEST_F(JpgLoaderTest, DecodesColourIntoBgrWithAZeroFourthByte) {
  const Bytes samples = Gradient(64, 48, 3);
  CJpgLoader loader;
  ASSERT_TRUE(loader.Open(folder_.Load("c.jpg", Testing::EncodeJpeg(64, 48, 3, samples))));
  EXPECT_EQ(loader.GetImageSize(), (PlaneSize{64, 48}));
  EXPECT_FALSE(loader.HasAlpha());
  EXPECT_EQ(loader.GetFilter(), SharedString(u"*.jpg;*.jpeg;*.jpe"));
  // Drawn with an offset into a larger plane, clipped at its edge.
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{70, 50});
  plane.FillAll(0);
  loader.Load(plane, 10, 5);
  for (int y : {0, 20, 44}) {
    for (int x : {0, 33, 59}) {
      const uint32_t px = PixelAt(plane, x + 10, y + 5);
      const uint8_t* s = &samples[(y * 64 + x) * 3];
      EXPECT_NEAR(int(px >> 16 & 0xFF), s[0], 6) << x << "," << y;
      EXPECT_NEAR(int(px >> 8 & 0xFF), s[1], 6) << x << "," << y;
      EXPECT_NEAR(int(px & 0xFF), s[2], 6) << x << "," << y;
      EXPECT_EQ(px >> 24, 0u);
    }
  }
  EXPECT_EQ(PixelAt(plane, 9, 5), 0u);
}

// The loader decodes colour files straight into B, G, R, X and reports its
// progress row by row; neither may change a single byte of what the
// library gives for R, G, B output.
TEST_F(JpgLoaderTest, DecodesExactlyWhatTheLibraryGives) {
  const int w = 131, h = 77;
  for (int components : {3, 1}) {
    for (bool progressive : {false, true}) {
      const Bytes file =
          Testing::EncodeJpeg(w, h, components, PhotoLike(w, h, components, 5), 85, progressive);
      const std::vector<uint32_t> expected = LibraryDecode(file);
      CJpgLoader loader;
      ASSERT_TRUE(loader.Open(folder_.Load("p.jpg", file)));
      CMemoryPlane32 plane;
      plane.SetSize(PlaneSize{w, h});
      plane.FillAll(0xFFFFFFFF);
      std::vector<int32_t> reports;
      loader.LoadStreaming(plane, 0, 0, [&](int32_t rows) {
        // What is reported is already there.
        if (rows > 0) {
          EXPECT_EQ(PixelAt(plane, w - 1, rows - 1), expected[rows * w - 1]);
        }
        reports.push_back(rows);
      });
      ASSERT_FALSE(reports.empty());
      EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
      EXPECT_EQ(reports.back(), h);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          ASSERT_EQ(PixelAt(plane, x, y), expected[y * w + x])
              << components << " " << progressive << " at " << x << "," << y;
        }
      }

      // A second Load decodes again; a plane of another depth, or one the
      // image does not fit on, goes through a conversion.
      CMemoryPlane32 offset;
      offset.SetSize(PlaneSize{w + 5, h + 3});
      offset.FillAll(0x123456);
      loader.Load(offset, 4, 2);
      CMemoryPlane grey(8);
      grey.SetSize(PlaneSize{w, h});
      loader.Load(grey, 0, 0);
      for (int y = 0; y < h; y += 7) {
        for (int x = 0; x < w; x += 5) {
          ASSERT_EQ(PixelAt(offset, x + 4, y + 2), expected[y * w + x]);
        }
      }
      EXPECT_EQ(PixelAt(offset, 3, 2), 0x563412u);  // the fill, red in its low byte
      EXPECT_EQ(PixelAt(offset, 4, 1), 0x563412u);
      if (components == 1) {
        PlaneBitsLock bits(grey);
        EXPECT_EQ(bits.Row(40)[60], expected[40 * w + 60] & 0xFF);
      }
    }
  }
}

TEST_F(JpgLoaderTest, GreyFillsAllThreeChannels) {
  CJpgLoader loader;
  ASSERT_TRUE(
      loader.Open(folder_.Load("g.jpg", Testing::EncodeJpeg(17, 9, 1, Gradient(17, 9, 1)))));
  CMemoryPlane32 plane;
  plane.SetSize(loader.GetImageSize());
  loader.Load(plane, 0, 0);
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 17; ++x) {
      const uint32_t px = PixelAt(plane, x, y);
      ASSERT_EQ(px, (px & 0xFF) * 0x010101u) << x << "," << y;
    }
  }
}

TEST_F(JpgLoaderTest, RefusesCmykAndWhatIsNoJpeg) {
  EXPECT_FALSE(
      CJpgLoader().Open(folder_.Load("cmyk.jpg", Testing::EncodeJpeg(8, 8, 4, Gradient(8, 8, 4)))));
  Testing::PngImage png;
  png.width = png.height = 1;
  png.rows = {Bytes{1, 2, 3}};
  EXPECT_FALSE(CJpgLoader().Open(folder_.Load("png.jpg", Testing::EncodePng(png))));
  EXPECT_FALSE(CJpgLoader().Open(folder_.Load("soi.jpg", Bytes{0xFF, 0xD8})));
  EXPECT_FALSE(CJpgLoader().Open(folder_.Load("empty.jpg", Bytes{})));
  CJpgLoader unopened;
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{1, 1});
  EXPECT_THROW(unopened.Load(plane, 0, 0), ImageLoadException);
}

TEST_F(JpgLoaderTest, TruncatedFilesStillDecode) {
  const Bytes samples = Gradient(64, 64, 3);
  for (bool progressive : {false, true}) {
    Bytes file = Testing::EncodeJpeg(64, 64, 3, samples, 90, progressive);
    // Cut halfway through the entropy-coded data of the last scan.
    size_t last_scan = 0;
    for (size_t i = 0; i + 1 < file.size(); ++i) {
      if (file[i] == 0xFF && file[i + 1] == 0xDA) last_scan = i;
    }
    file.resize(last_scan + (file.size() - last_scan) / 2);
    CJpgLoader loader;
    ASSERT_TRUE(loader.Open(folder_.Load("cut.jpg", file))) << progressive;
    EXPECT_EQ(loader.GetImageSize(), (PlaneSize{64, 64}));
    CMemoryPlane32 plane;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);
    // The part that was there decodes as before.
    EXPECT_NEAR(int(PixelAt(plane, 40, 2) >> 16 & 0xFF), samples[(2 * 64 + 40) * 3], 8);
  }
  // Cut inside the headers: nothing to decode.
  Bytes file = Testing::EncodeJpeg(64, 64, 3, samples);
  file.resize(100);
  EXPECT_FALSE(CJpgLoader().Open(folder_.Load("head.jpg", file)));
}

// A progressive file with its last scan repeated: every scan goes over the
// whole image, so thousands of them (a few bytes each where the blocks are
// empty) would keep the decoder busy for minutes. Past 100 it is refused.
TEST_F(JpgLoaderTest, FilesWithTooManyScansAreRefused) {
  const Bytes file = Testing::EncodeJpeg(64, 64, 3, Gradient(64, 64, 3), 90, true);
  std::vector<size_t> scans;
  for (size_t i = 0; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xDA) scans.push_back(i);
  }
  ASSERT_GT(scans.size(), 1u);
  const auto with_scans = [&](size_t count) {
    Bytes made(file.begin(), file.begin() + static_cast<ptrdiff_t>(scans.back()));
    for (size_t k = scans.size() - 1; k < count; ++k) {
      made.insert(made.end(), file.begin() + static_cast<ptrdiff_t>(scans.back()), file.end() - 2);
    }
    made.insert(made.end(), {0xFF, 0xD9});
    return made;
  };
  CJpgLoader loader;
  ASSERT_TRUE(loader.Open(folder_.Load("100.jpg", with_scans(100))));
  CMemoryPlane32 plane;
  plane.SetSize(loader.GetImageSize());
  loader.Load(plane, 0, 0);
  EXPECT_FALSE(loader.Open(folder_.Load("101.jpg", with_scans(101))));
}

// Below the point where a sequential file runs out, the decoder makes up
// rows from nothing, and a header may claim millions of them. The rows the
// data reaches decode as before; the made-up rest comes out as the library
// would make it, at once rather than row group by row group.
TEST_F(JpgLoaderTest, CutFilesStopDecodingWhereTheirDataEnds) {
  const int w = 48, h = 2048;
  for (int components : {3, 1}) {
    Bytes file = Testing::EncodeJpeg(w, h, components, PhotoLike(w, h, components, 7), 85);
    file.resize(file.size() / 8);
    const std::vector<uint32_t> expected = LibraryDecode(file);
    CJpgLoader loader;
    ASSERT_TRUE(loader.Open(folder_.Load("cut.jpg", file)));
    CMemoryPlane32 plane;
    plane.SetSize(PlaneSize{w, h});
    plane.FillAll(0xFFFFFFFF);
    int reports = 0;
    loader.LoadStreaming(plane, 0, 0, [&](int32_t) { ++reports; });
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        ASSERT_EQ(PixelAt(plane, x, y), expected[y * w + x])
            << components << " at " << x << "," << y;
      }
    }
    // Decoding every row would report each 16 of them.
    EXPECT_LT(reports, h / 16 / 3) << components;
  }
}

}  // namespace
}  // namespace Orvex
