#include <gtest/gtest.h>

#include <vector>

#include "foundation/win32/win32.h"
#include "imaging/dib_impl.h"
#include "imaging/dib_source.h"
#include "imaging/dib_system_draw.h"
#include "imaging/pixel_test_util.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

using Testing::At;

TEST(DibSurfaceTest, GdiDrawingShowsInTheTopDownRows) {
  CDib32 dib;
  dib.SetSize(PlaneSize{5, 3});
  HDC dc = static_cast<HDC>(dib.GetDeviceContext());
  ASSERT_NE(dc, nullptr);
  const auto* header = static_cast<CDibImpl*>(dib.GetImpl().get())->GetHeader();
  EXPECT_EQ(header->biWidth, 8);
  EXPECT_EQ(header->biHeight, -3);
  EXPECT_EQ(At(dib, 4, 2), 0u);  // a new section is zero-filled
  ASSERT_TRUE(SetPixelV(dc, 4, 0, RGB(0x10, 0x20, 0x30)));
  // Reading the bits waits for GDI, and row 0 is the top row.
  EXPECT_EQ(At(dib, 4, 0), 0x102030u);
  dib.ReleaseDeviceContext();

  CMemoryPlane32 heap;
  heap.SetSize(PlaneSize{5, 3});
  EXPECT_EQ(heap.GetDeviceContext(), nullptr);
}

TEST(DibSurfaceTest, GrowingKeepsAWorkingDeviceContext) {
  CDib32 dib;
  dib.SetSize(PlaneSize{2, 2});
  dib.SetSize(PlaneSize{40, 30});
  HDC dc = static_cast<HDC>(dib.GetDeviceContext());
  ASSERT_NE(dc, nullptr);
  ASSERT_TRUE(SetPixelV(dc, 39, 29, RGB(0xFF, 0, 0)));
  EXPECT_EQ(At(dib, 39, 29), 0xFF0000u);
}

// The system draws the bitmaps that are not converted directly; it must
// really be the one drawing them here, and agree with the converter.
TEST(DibSurfaceTest, SystemDrawingIsUsedForTopDownBitmaps) {
  BITMAPINFOHEADER info{static_cast<DWORD>(sizeof(BITMAPINFOHEADER)), 2, -1, 1, 24, BI_RGB};
  const uint8_t bits[8] = {1, 2, 3, 4, 5, 6, 0, 0};
  const Detail::DibSource source = Detail::ReadDibSource(&info, sizeof info, bits, sizeof bits);
  CDib32 dib;
  dib.SetSize(PlaneSize{3, 1});
  EXPECT_TRUE(
      Detail::DrawDibThroughSystem(dib.GetDeviceContext(), source, PlaneRect{1, 0, 3, 1}, 1, 0));
  EXPECT_EQ(At(dib, 0, 0), 0u);
  EXPECT_EQ(At(dib, 1, 0), 0x030201u);
  EXPECT_EQ(At(dib, 2, 0), 0x060504u);
}

}  // namespace
}  // namespace Orvex
