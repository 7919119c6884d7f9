#include "codecs/loader_registry.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "codecs/bmp_loader.h"
#include "codecs/image_limits.h"
#include "codecs/image_loaders.h"
#include "codecs/jpg_loader.h"
#include "codecs/png_loader.h"
#include "codecs/test_images.h"
#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

using Testing::Bytes;

// What the fake loaders saw, in order.
struct Journal {
  std::vector<std::string> events;
};

enum class Behaviour { kRefuse, kAccept, kThrow, kFailCreate };

class FakeLoader : public IImageLoader {
 public:
  FakeLoader(std::string name, Behaviour behaviour, Journal& journal)
      : name_(std::move(name)), behaviour_(behaviour), journal_(journal) {}

  bool Open(const std::shared_ptr<CFileData>& source) override {
    journal_.events.push_back(name_ + " open " + std::to_string(source->GetSize()));
    if (behaviour_ == Behaviour::kThrow) throw IOException(u"broken");
    return behaviour_ == Behaviour::kAccept;
  }
  PlaneSize GetImageSize() override { return PlaneSize{3, 2}; }
  void Load(CPlane& plane, int32_t x, int32_t y) override {
    journal_.events.push_back(name_ + " load");
    plane.Fill(0x0000FF, PlaneRect{x, y, x + 3, y + 2});
  }
  bool HasAlpha() override { return false; }
  SharedString GetFormatName() override { return u"FAKE"; }
  SharedString GetFilter() override { return u"*.*"; }

 private:
  std::string name_;
  Behaviour behaviour_;
  Journal& journal_;
};

class FakeFactory : public IFactory<IImageLoader> {
 public:
  FakeFactory(std::string name, Behaviour behaviour, Journal& journal)
      : name_(std::move(name)), behaviour_(behaviour), journal_(journal) {}
  std::shared_ptr<IImageLoader> CreateInstance() override {
    journal_.events.push_back(name_ + " create");
    if (behaviour_ == Behaviour::kFailCreate) throw std::runtime_error("no loader");
    return std::make_shared<FakeLoader>(name_, behaviour_, journal_);
  }

 private:
  std::string name_;
  Behaviour behaviour_;
  Journal& journal_;
};

class LoaderRegistryTest : public testing::Test {
 protected:
  std::shared_ptr<FakeFactory> Make(const char* name, Behaviour behaviour) {
    return std::make_shared<FakeFactory>(name, behaviour, journal_);
  }
  // The factories in the order the registry tries them.
  std::vector<std::string> TrialOrder(const LoaderRegistry& registry) {
    journal_.events.clear();
    ImageLoadContext context;
    try {
      registry.SelectLoader(context, folder_.Load("probe.bin", Bytes{1, 2, 3}));
    } catch (const ImageLoadException&) {
    }
    std::vector<std::string> order;
    for (const std::string& event : journal_.events) {
      if (event.ends_with(" create")) order.push_back(event.substr(0, event.size() - 7));
    }
    return order;
  }

  Journal journal_;
  Testing::TempFolder folder_;
};

TEST_F(LoaderRegistryTest, OrdersByPriorityThenRegistrationAndIgnoresDuplicates) {
  LoaderRegistry registry;
  auto a = Make("a", Behaviour::kRefuse);
  auto b = Make("b", Behaviour::kRefuse);
  auto c = Make("c", Behaviour::kRefuse);
  registry.RegisterFactory(a, 0);
  registry.RegisterFactory(b, 0);
  registry.RegisterFactory(a, 0);
  // A lower priority for an object already present must not add it again.
  registry.RegisterFactory(b, -5);
  EXPECT_EQ(registry.GetFactoryCount(), 2u);
  registry.RegisterFactory(c, -1);
  auto d = Make("d", Behaviour::kRefuse);
  registry.RegisterFactory(d, 0);
  auto e = Make("e", Behaviour::kRefuse);
  registry.RegisterFactory(e, 7);
  auto f = Make("f", Behaviour::kRefuse);
  registry.RegisterFactory(f, 3);
  EXPECT_EQ(TrialOrder(registry), (std::vector<std::string>{"c", "a", "b", "d", "f", "e"}));
}

TEST_F(LoaderRegistryTest, SkipsRefusingAndThrowingLoadersAndOffersTheSameBytes) {
  LoaderRegistry registry;
  registry.RegisterFactory(Make("refuses", Behaviour::kRefuse), 0);
  registry.RegisterFactory(Make("throws", Behaviour::kThrow), 0);
  registry.RegisterFactory(Make("nofactory", Behaviour::kFailCreate), 0);
  registry.RegisterFactory(Make("takes", Behaviour::kAccept), 0);
  registry.RegisterFactory(Make("never", Behaviour::kAccept), 0);

  CMemoryPlane32 plane;
  const PlaneSize size = registry.LoadImage(folder_.Load("img.bin", Bytes(17, 0)), plane);
  EXPECT_EQ(size, (PlaneSize{3, 2}));
  EXPECT_EQ(plane.GetSize(), size);
  EXPECT_EQ(journal_.events,
            (std::vector<std::string>{"refuses create", "refuses open 17", "throws create",
                                      "throws open 17", "nofactory create", "takes create",
                                      "takes open 17", "takes load"}));
}

TEST_F(LoaderRegistryTest, NoTakerAndEmptyFileRaiseTheFileName) {
  LoaderRegistry registry;
  registry.RegisterFactory(Make("refuses", Behaviour::kRefuse), 0);
  CMemoryPlane32 plane;
  for (const Bytes& bytes : {Bytes{}, Bytes{'x'}}) {
    journal_.events.clear();
    auto source = folder_.Load("名前.dat", bytes);
    try {
      registry.LoadImage(source, plane);
      FAIL() << "accepted";
    } catch (const ImageLoadException& e) {
      EXPECT_EQ(GetDefaultEncoding().ToWide(e.what()).Str(),
                (source->GetName() + u" の画像読み込みに失敗しました").Str());
    }
    // An empty file is refused before any factory is asked.
    EXPECT_EQ(journal_.events.empty(), bytes.empty());
  }
}

// The start-up chain decides by content: a PNG named .jpg goes to the PNG
// loader, a BMP to the BMP loader, whatever the JPEG loader makes of them.
TEST_F(LoaderRegistryTest, BuiltInLoadersChooseByContent) {
  LoaderRegistry registry;
  RegisterBuiltinLoaders(registry);
  EXPECT_EQ(registry.GetFactoryCount(), 3u);

  Testing::PngImage png;
  png.width = 2;
  png.height = 1;
  png.rows = {Bytes{10, 20, 30, 40, 50, 60}};
  CDib32 plane;
  EXPECT_EQ(registry.LoadImage(folder_.Load("photo.jpg", Testing::EncodePng(png)), plane),
            (PlaneSize{2, 1}));
  {
    PlaneBitsLock lock(plane);
    const uint8_t* px = lock.Row(0);
    EXPECT_EQ(Bytes(px, px + 8), (Bytes{30, 20, 10, 0xFF, 60, 50, 40, 0xFF}));
  }

  const Bytes bmp = Testing::MakeBmp(1, 1, 24, {}, Bytes{1, 2, 3, 0});
  EXPECT_EQ(registry.LoadImage(folder_.Load("a.png", bmp), plane), (PlaneSize{1, 1}));
  EXPECT_THROW(registry.LoadImage(folder_.Load("text.bmp", Bytes(100, 'a')), plane),
               ImageLoadException);
}

void PutBigEndian16(Bytes& bytes, size_t at, uint32_t value) {
  bytes[at] = static_cast<uint8_t>(value >> 8);
  bytes[at + 1] = static_cast<uint8_t>(value);
}

void PutBigEndian32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A panorama of a few hundred megapixels is a picture; more is damage.
static_assert(IsWithinPixelLimit(20000, 11150));
static_assert(!IsWithinPixelLimit(65500, 65500));

// A file of a few bytes can claim 65500 x 65500 pixels: 17 GB and minutes of
// decoding. Each loader refuses such a claim from the header, at once and
// before it allocates the pixels.
TEST_F(LoaderRegistryTest, HugeClaimsAreRefusedFromTheHeader) {
  constexpr uint32_t kHuge = 65500;
  Bytes jpeg = Testing::EncodeJpeg(16, 16, 3, Bytes(16 * 16 * 3, 99));
  size_t frame = 0;
  while (!(jpeg[frame] == 0xFF && jpeg[frame + 1] == 0xC0)) ++frame;
  PutBigEndian16(jpeg, frame + 5, kHuge);
  PutBigEndian16(jpeg, frame + 7, kHuge);

  Testing::PngImage image;
  image.width = image.height = 1;
  image.rows = {Bytes{1, 2, 3}};
  Bytes png = Testing::EncodePng(image);
  // IHDR's width and height, and its checksum over type and data.
  PutBigEndian32(png, 16, kHuge);
  PutBigEndian32(png, 20, kHuge);
  PutBigEndian32(png, 29, static_cast<uint32_t>(crc32(0, png.data() + 12, 17)));

  const Bytes bmp = Testing::MakeBmp(kHuge, kHuge, 1, Bytes(8, 0), Bytes(64, 0xAA));

  LoaderRegistry registry;
  RegisterBuiltinLoaders(registry);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_FALSE(CJpgLoader().Open(folder_.Load("huge.jpg", jpeg)));
  ASSERT_FALSE(CPngLoader().Open(folder_.Load("huge.png", png)));
  ASSERT_FALSE(CBmpLoader().Open(folder_.Load("huge.bmp", bmp)));
  for (const char* name : {"huge.jpg", "huge.png", "huge.bmp"}) {
    CDib32 plane;
    EXPECT_THROW(registry.LoadImage(std::make_shared<CFileData>(folder_.PathOf(name)), plane),
                 ImageLoadException)
        << name;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace Orvex
