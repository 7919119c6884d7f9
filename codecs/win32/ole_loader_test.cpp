#include "codecs/win32/ole_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "codecs/system_test_images.h"
#include "codecs/test_images.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <psapi.h>
// clang-format on
#include "imaging/plane32.h"

// Needs <windows.h> as win32.h sets it up.
#include <objbase.h>

namespace Orvex {
namespace {

using Testing::Bytes;
using Testing::PixelAt;
using Testing::TempFolder;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

int ScreenDpi(int index) {
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, index);
  ReleaseDC(nullptr, dc);
  return dpi;
}

// A one-inch square metafile: red, with a blue square in its top-left
// quarter, drawn in HIMETRIC-sized logical units.
Bytes MakeEmf() {
  const RECT frame{0, 0, 2540, 2540};
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
  SetMapMode(dc, MM_HIMETRIC);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT all{0, 0, 2540, -2540};
  FillRect(dc, &all, red);
  RECT quarter{0, 0, 1270, -1270};
  FillRect(dc, &quarter, blue);
  DeleteObject(red);
  DeleteObject(blue);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  Bytes bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, UINT(bytes.size()), bytes.data());
  DeleteEnhMetaFile(emf);
  return bytes;
}

// A placeable metafile one inch wide and half an inch high, green.
Bytes MakeWmf() {
  HDC dc = CreateMetaFileW(nullptr);
  SetWindowExtEx(dc, 1440, 720, nullptr);
  HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
  RECT all{0, 0, 1440, 720};
  FillRect(dc, &all, green);
  DeleteObject(green);
  HMETAFILE wmf = CloseMetaFile(dc);
  Bytes records(GetMetaFileBitsEx(wmf, 0, nullptr));
  GetMetaFileBitsEx(wmf, UINT(records.size()), records.data());
  DeleteMetaFile(wmf);

  // The placeable header: key, handle, bounds, units per inch, reserved,
  // and the XOR of its first ten words.
  Bytes bytes;
  const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, 1440, 720, 1440, 0, 0};
  uint16_t checksum = 0;
  for (uint16_t w : words) {
    checksum ^= w;
    bytes.push_back(uint8_t(w));
    bytes.push_back(uint8_t(w >> 8));
  }
  bytes.push_back(uint8_t(checksum));
  bytes.push_back(uint8_t(checksum >> 8));
  bytes.insert(bytes.end(), records.begin(), records.end());
  return bytes;
}

struct Loaded {
  PlaneSize size;
  SharedString format;
};

// Loads into a plane that still holds another picture in white, as a
// reused plane would.
Loaded LoadInto(CDib32& plane, const TempFolder& folder, const char* name, const Bytes& bytes) {
  COleLoader loader;
  EXPECT_TRUE(loader.Open(folder.Load(name, bytes))) << name;
  const PlaneSize size = loader.GetImageSize();
  plane.SetSize(PlaneSize{200, 200});
  plane.FillAll(0xFFFFFF);
  plane.SetSize(size);
  loader.Load(plane, 0, 0);
  EXPECT_FALSE(loader.HasAlpha());
  return Loaded{size, loader.GetFormatName()};
}

TEST(OleLoader, DrawsGifIconAndMetafilesAtTheScreenResolution) {
  TempFolder folder;
  CDib32 plane;

  const Bytes gif = ToBytes(
      Testing::MakeGif(4, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, {0, 1, 2, 3, 3, 2, 1, 0}));
  Loaded loaded = LoadInto(plane, folder, "a.gif", gif);
  EXPECT_EQ(loaded.size.width, 4);
  EXPECT_EQ(loaded.size.height, 2);
  EXPECT_EQ(loaded.format, SharedString(u"OLE ビットマップ"));
  EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(PixelAt(plane, 2, 0) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(PixelAt(plane, 3, 1) & 0xFFFFFF, 0xFF0000u);

  // The icon's transparent corner must not show the white left behind.
  std::vector<uint32_t> icon(16, 0xFF00FF00);
  icon[0] = 0x00000000;
  loaded = LoadInto(plane, folder, "a.ico", ToBytes(Testing::MakeIco(4, 4, icon)));
  EXPECT_EQ(loaded.size.width, 4);
  EXPECT_EQ(loaded.format, SharedString(u"OLE アイコン"));
  EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(PixelAt(plane, 3, 3) & 0xFFFFFF, 0x00FF00u);

  const int dpi_x = ScreenDpi(LOGPIXELSX);
  const int dpi_y = ScreenDpi(LOGPIXELSY);
  loaded = LoadInto(plane, folder, "a.emf", MakeEmf());
  EXPECT_EQ(loaded.format, SharedString(u"OLE 拡張メタファイル"));
  // One inch at the screen's resolution (96 pixels at 96 dpi); the frame
  // may be rounded by a pixel where the system measures it.
  EXPECT_NEAR(loaded.size.width, dpi_x, 1);
  EXPECT_NEAR(loaded.size.height, dpi_y, 1);
  EXPECT_EQ(PixelAt(plane, dpi_x / 8, dpi_y / 8) & 0xFFFFFF, 0x0000FFu);
  EXPECT_EQ(PixelAt(plane, dpi_x * 7 / 8, dpi_y * 7 / 8) & 0xFFFFFF, 0xFF0000u);

  loaded = LoadInto(plane, folder, "a.wmf", MakeWmf());
  EXPECT_EQ(loaded.format, SharedString(u"OLE メタファイル"));
  EXPECT_EQ(loaded.size.width, dpi_x);
  EXPECT_EQ(loaded.size.height, dpi_y / 2);
  EXPECT_EQ(PixelAt(plane, dpi_x / 2, dpi_y / 4) & 0xFFFFFF, 0x00FF00u);
}

TEST(OleLoader, RefusesWhatTheSystemCannotRead) {
  TempFolder folder;
  COleLoader loader;
  EXPECT_FALSE(loader.Open(folder.Load("a.txt", ToBytes("just some words, no picture\r\n"))));
  // A PNG comes here only when the PNG decoder refused it. Windows' decoder
  // reads no PNG; Wine's does, and spends gigabytes on a chunk whose length
  // lies, so it is not asked.
  Testing::PngImage png;
  png.width = png.height = 2;
  png.rows = {Bytes(2 * 3, 0x80), Bytes(2 * 3, 0x40)};
  EXPECT_FALSE(loader.Open(folder.Load("a.png", Testing::EncodePng(png))));
  EXPECT_EQ(loader.GetFormatName(), SharedString(u"OLE Image"));
  EXPECT_EQ(loader.GetFilter(), SharedString(u"*.bmp;*.ico;*.jpg;*.jpeg;*.jpe;*.png;*.gif"));
}

size_t WorkingSetBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.WorkingSetSize;
}

// The resident program loads a picture at every change: what a loaded
// picture holds goes with it.
TEST(OleLoader, AClosedPictureLeavesNothingBehind) {
  TempFolder folder;
  const int w = 1024, h = 768;
  std::vector<uint8_t> indexes(size_t{w} * h);
  for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<uint8_t>(i % 3);
  const auto gif = folder.Load(
      "big.gif", ToBytes(Testing::MakeGif(w, h, {0xFF0000, 0x00FF00, 0x0000FF}, indexes)));
  const auto load = [&] {
    COleLoader loader;
    ASSERT_TRUE(loader.Open(gif));
    CDib32 plane;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);
  };
  load();
  const size_t before = WorkingSetBytes();
  for (int i = 0; i < 20; ++i) load();
  // A bitmap kept at each load would be 60 MB by now.
  EXPECT_LT(WorkingSetBytes(), before + (16u << 20));
}

// What the blocks in use of the process heap hold: the system decoder
// allocates there.
size_t ProcessHeapBusyBytes() {
  HANDLE heap = GetProcessHeap();
  size_t busy = 0;
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry)) {
    if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) busy += entry.cbData;
  }
  HeapUnlock(heap);
  return busy;
}

// A GIF cut short (a file still being copied) or harmed is refused, however
// often the resident program meets it.
TEST(OleLoader, ABrokenGifIsRefusedAndLeavesNothingBehind) {
  TempFolder folder;
  const int w = 1024, h = 768;
  const std::string whole =
      Testing::MakeGif(w, h, {0xFF0000, 0x00FF00}, std::vector<uint8_t>(w * h, 1));
  std::string harmed = whole;
  harmed[harmed.size() / 2] = '\xFF';  // a code the table does not have
  for (const auto& broken : {whole.substr(0, whole.size() / 2), harmed}) {
    const auto source = folder.Load("broken.gif", ToBytes(broken));
    EXPECT_FALSE(COleLoader().Open(source));
    const size_t before = ProcessHeapBusyBytes();
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(COleLoader().Open(source));
    // Wine's decoder kept the frame's 800 KB at each try.
    EXPECT_LT(ProcessHeapBusyBytes(), before + (256u << 10));
  }
}

// What CoInitializeEx answers now, undone again: S_OK means that the
// thread had no COM.
HRESULT ProbeCom() {
  const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(result)) CoUninitialize();
  return result;
}

// The folder chooser on the same thread may set COM up before a change,
// during one (its modal loop runs the timer), or not at all; the loader
// must work in each case and leave the thread as it found it.
TEST(OleLoader, WorksWhateverComStateTheThreadIsIn) {
  TempFolder folder;
  const Bytes gif = ToBytes(Testing::MakeGif(2, 1, {0xFF0000, 0x0000FF}, {0, 1}));
  const auto source = folder.Load("c.gif", gif);
  const auto load = [&] {
    COleLoader loader;
    if (!loader.Open(source)) return false;
    CDib32 plane;
    plane.SetSize(loader.GetImageSize());
    loader.Load(plane, 0, 0);
    return (PixelAt(plane, 1, 0) & 0xFFFFFF) == 0x0000FFu;
  };
  const auto on_new_thread = [](auto body) { std::thread(body).join(); };

  on_new_thread([&] {
    EXPECT_TRUE(load());
    EXPECT_EQ(ProbeCom(), S_OK);
  });
  on_new_thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_TRUE(load());
    EXPECT_EQ(ProbeCom(), S_FALSE);
    CoUninitialize();
    EXPECT_EQ(ProbeCom(), S_OK);
  });
  on_new_thread([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_TRUE(load());
    CoUninitialize();
    EXPECT_EQ(ProbeCom(), S_OK);
  });
  on_new_thread([&] {
    {
      COleLoader loader;
      ASSERT_TRUE(loader.Open(source));
      // The chooser comes and goes while the picture is held.
      EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
      CoUninitialize();
      CDib32 plane;
      plane.SetSize(loader.GetImageSize());
      loader.Load(plane, 0, 0);
      EXPECT_EQ(PixelAt(plane, 0, 0) & 0xFFFFFF, 0xFF0000u);
    }
    EXPECT_EQ(ProbeCom(), S_OK);
  });
}

}  // namespace
}  // namespace Orvex
