#include "codecs/jpg_loader.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/test_images.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
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

}  // namespace
}  // namespace Orvex
