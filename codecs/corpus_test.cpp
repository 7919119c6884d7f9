// Decodes test images that other projects made and compares every pixel
// with what independent decoders make of them. The corpus and its reference
// pixels are prepared in the build tree by make_corpus_references; without
// them these tests skip.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "codecs/jpg_loader.h"
#include "codecs/png_loader.h"
#include "codecs/test_images.h"
#include "foundation/files.h"
#include "imaging/plane32.h"
#include "imaging/row_sink.h"

namespace Orvex {
namespace {

namespace fs = std::filesystem;
using Testing::Bytes;

struct Reference {
  int width = 0;
  int height = 0;
  int channels = 0;
  int max_value = 0;
  Bytes samples;

  // Sample c of pixel (x, y), scaled to 16 bits.
  uint32_t At(int x, int y, int c) const {
    const size_t i = (size_t(y) * width + x) * channels + c;
    if (max_value > 255) return uint32_t(samples[2 * i]) << 8 | samples[2 * i + 1];
    return samples[i] * 257u;
  }
};

// PAM (P7) or binary PGM/PPM (P5/P6).
std::optional<Reference> ReadNetpbm(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  in >> magic;
  Reference ref;
  if (magic == "P7") {
    std::string key;
    while (in >> key && key != "ENDHDR") {
      if (key == "WIDTH")
        in >> ref.width;
      else if (key == "HEIGHT")
        in >> ref.height;
      else if (key == "DEPTH")
        in >> ref.channels;
      else if (key == "MAXVAL")
        in >> ref.max_value;
      else
        in.ignore(1 << 10, '\n');
    }
  } else if (magic == "P5" || magic == "P6") {
    ref.channels = magic == "P5" ? 1 : 3;
    in >> ref.width >> ref.height >> ref.max_value;
  } else {
    return std::nullopt;
  }
  in.get();  // the one whitespace byte before the samples
  const size_t bytes =
      size_t(ref.width) * ref.height * ref.channels * (ref.max_value > 255 ? 2 : 1);
  ref.samples.resize(bytes);
  in.read(reinterpret_cast<char*>(ref.samples.data()), static_cast<std::streamsize>(bytes));
  if (!in) return std::nullopt;
  return ref;
}

// The file gamma libpng works with: the gAMA chunk, or the one an sRGB chunk
// implies.
std::optional<double> FileGamma(const Bytes& png) {
  std::optional<double> gamma;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length =
        uint32_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    if (type == "IDAT" || at + 12 + uint64_t{length} > png.size()) break;
    const uint8_t* data = png.data() + at + 8;
    if (type == "gAMA" && length == 4) {
      gamma = (uint32_t(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3]) / 100000.0;
    } else if (type == "sRGB" && !gamma) {
      gamma = 0.45455;
    }
    at += 12 + length;
  }
  return gamma;
}

class CorpusTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("PELMORA_CODEC_CORPUS");
    if (!dir || !fs::exists(fs::path(dir) / "index.txt")) {
      GTEST_SKIP() << "no decoder corpus (PELMORA_CODEC_CORPUS); run through ctest, which "
                      "prepares it when libpng/libjpeg-turbo sources, convert and djpeg exist";
    }
    root_ = dir;
    std::ifstream index(root_ / "index.txt");
    std::string kind, name;
    while (index >> kind >> name) entries_.push_back({kind, name});
  }

  std::vector<std::string> Names(const std::string& kind) const {
    std::vector<std::string> names;
    for (const auto& [k, n] : entries_) {
      if (k == kind) names.push_back(n);
    }
    return names;
  }

  std::shared_ptr<CFileData> Source(const fs::path& path) const {
    return std::make_shared<CFileData>(Testing::ToShared(path));
  }

  fs::path root_;
  std::vector<std::pair<std::string, std::string>> entries_;
};

// libpng corrects gamma with tables of its own; where it corrects, its
// results may differ from the exact power function by rounding, so one step
// is allowed there and none where no correction applies. For 16-bit samples
// it may also correct the high byte alone (its tables are indexed by the
// top bits), which dark samples show most: anything between the two
// corrections is accepted.
TEST_F(CorpusTest, PngImagesMatchAnIndependentDecoder) {
  const std::vector<std::string> names = Names("png");
  ASSERT_GT(names.size(), 100u);
  int corrected_files = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const fs::path path = root_ / "png" / (name + ".png");
    const std::optional<Reference> ref = ReadNetpbm(root_ / "png" / (name + ".pam"));
    ASSERT_TRUE(ref && ref->channels == 4);
    CPngLoader loader;
    ASSERT_TRUE(loader.Open(Source(path)));
    ASSERT_EQ(loader.GetImageSize(), (PlaneSize{ref->width, ref->height}));
    CMemoryPlane32 plane;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);

    const std::optional<double> gamma = FileGamma(Testing::ReadAll(path));
    const bool corrected = gamma && std::abs(*gamma * 2.2 - 1) > 0.05;
    corrected_files += corrected;
    const int tolerance = corrected ? 1 : 0;
    int worst = 0;
    int bad_pixels = 0;
    for (int y = 0; y < ref->height; ++y) {
      for (int x = 0; x < ref->width; ++x) {
        const uint32_t px = Testing::PixelAt(plane, x, y);
        const int got[4] = {int(px >> 16 & 0xFF), int(px >> 8 & 0xFF), int(px & 0xFF),
                            int(px >> 24)};
        bool bad = false;
        for (int c = 0; c < 4; ++c) {
          const uint32_t v = ref->At(x, y, c);
          int low = int(v >> 8), high = low;
          if (corrected && c < 3) {
            const double exponent = 1 / (*gamma * 2.2);
            low = int(std::lround(255 * std::pow(v / 65535.0, exponent)));
            high = int(std::lround(255 * std::pow((v >> 8) / 255.0, exponent)));
            if (low > high) std::swap(low, high);
          }
          const int diff = std::max({0, low - got[c], got[c] - high});
          worst = std::max(worst, diff);
          bad |= diff > tolerance;
        }
        if (bad && ++bad_pixels <= 3) {
          ADD_FAILURE() << "pixel " << x << "," << y << " is " << std::hex << px;
        }
      }
    }
    EXPECT_LE(worst, tolerance) << bad_pixels << " pixels differ";
  }
  EXPECT_GT(corrected_files, 10);
}

TEST_F(CorpusTest, DamagedPngFilesNeverCrash) {
  const std::vector<std::string> names = Names("crash");
  ASSERT_GT(names.size(), 10u);
  int refused = 0;
  for (const std::string& name : names) {
    CPngLoader loader;
    if (!loader.Open(Source(root_ / "crash" / (name + ".png")))) {
      ++refused;
      continue;
    }
    // What is accepted must also draw.
    CMemoryPlane32 plane;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);
  }
  // The bad checksums and compressed data at least.
  EXPECT_GE(refused, 2);
  for (const std::string& name : Names("png-unreferenced")) {
    CPngLoader loader;
    loader.Open(Source(root_ / "png" / (name + ".png")));
  }
}

// A sink with no more room than a writer may use: rows live in a ring of
// kRowsInHand rows and are copied out into `plane` when reported, so a
// writer that runs further ahead overwrites rows before they are taken.
class TightRing final : public IRowSink {
 public:
  explicit TightRing(CPlane32& plane)
      : plane_(plane), ring_(size_t{4} * plane.GetWidth() * kRowsInHand) {}

  uint8_t* RowFor(int32_t y) override {
    if (y < done_ || y >= done_ + kRowsInHand) {
      ADD_FAILURE() << "row " << y << " asked with " << done_ << " done";
    }
    return Slot(y);
  }
  void RowsDone(int32_t rows) override {
    const PlaneBitsLock bits(plane_);
    for (; done_ < rows; ++done_) {
      std::copy_n(Slot(done_), 4 * size_t(plane_.GetWidth()), bits.Row(done_));
    }
  }

 private:
  uint8_t* Slot(int32_t y) {
    return ring_.data() + size_t{4} * plane_.GetWidth() * size_t(y % kRowsInHand);
  }
  CPlane32& plane_;
  std::vector<uint8_t> ring_;
  int32_t done_ = 0;
};

TEST_F(CorpusTest, JpegImagesMatchDjpeg) {
  const std::vector<std::string> names = Names("jpeg");
  ASSERT_GE(names.size(), 3u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::optional<Reference> ref = ReadNetpbm(root_ / "jpeg" / (name + ".pnm"));
    ASSERT_TRUE(ref && ref->max_value == 255);
    CJpgLoader loader;
    ASSERT_TRUE(loader.Open(Source(root_ / "jpeg" / (name + ".jpg"))));
    ASSERT_EQ(loader.GetImageSize(), (PlaneSize{ref->width, ref->height}));
    CMemoryPlane32 plane;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);
    int bad_pixels = 0;
    for (int y = 0; y < ref->height; ++y) {
      for (int x = 0; x < ref->width; ++x) {
        const int c = ref->channels == 3;
        const uint32_t want = ref->samples[(size_t(y) * ref->width + x) * ref->channels] << 16 |
                              ref->samples[(size_t(y) * ref->width + x) * ref->channels + c] << 8 |
                              ref->samples[(size_t(y) * ref->width + x) * ref->channels + 2 * c];
        const uint32_t got = Testing::PixelAt(plane, x, y);
        if (got != want && ++bad_pixels <= 3) {
          ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << got << " not " << want;
        }
      }
    }
    EXPECT_EQ(bad_pixels, 0);

    // Row by row into a ring, as a fitted wallpaper takes them: the same.
    CMemoryPlane32 streamed;
    streamed.SetSize(loader.GetImageSize());
    TightRing ring(streamed);
    loader.LoadRows(ring);
    const PlaneBitsLock a(streamed);
    const PlaneBitsLock b(plane);
    for (int y = 0; y < ref->height; ++y) {
      ASSERT_TRUE(std::equal(a.Row(y), a.Row(y) + 4 * size_t(ref->width), b.Row(y))) << "row " << y;
    }
  }
  // djpeg cannot read these either (12-bit samples, for one).
  for (const std::string& name : Names("jpeg-refused")) {
    EXPECT_FALSE(CJpgLoader().Open(Source(root_ / "jpeg" / (name + ".jpg")))) << name;
  }
}

}  // namespace
}  // namespace Orvex
