#include <gtest/gtest.h>

#include <cstring>

#include "imaging/dib_impl.h"
#include "imaging/dib_source.h"
#include "imaging/dib_system_draw.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

TEST(DibSurfaceTest, HeapBitmapKeepsTheDibRowLayoutWithoutADeviceContext) {
  CDib32 dib;
  dib.SetSize(PlaneSize{5, 3});
  EXPECT_EQ(dib.GetDeviceContext(), nullptr);
  const auto* header = static_cast<CDibImpl*>(dib.GetImpl().get())->GetHeader();
  EXPECT_EQ(header->biWidth, 8);
  EXPECT_EQ(header->biHeight, -3);
  PlaneBitsLock lock(dib);
  EXPECT_EQ(lock.Step(), 32);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 32; ++x) EXPECT_EQ(lock.Row(y)[x], 0);  // zero-filled, as a section
  }
}

TEST(DibSurfaceTest, NoSystemDrawingHere) {
  const BitmapInfoHeader info = MakeBitmapInfoHeader(1, -1, 32);
  const uint8_t bits[4] = {};
  const Detail::DibSource source = Detail::ReadDibSource(&info, sizeof info, bits, sizeof bits);
  int context = 0;
  EXPECT_FALSE(Detail::DrawDibThroughSystem(&context, source, PlaneRect{0, 0, 1, 1}, 0, 0));
}

}  // namespace
}  // namespace Orvex
