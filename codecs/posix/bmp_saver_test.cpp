#include "codecs/bmp_saver.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/test_images.h"
#include "foundation/exceptions.h"
#include "foundation/posix/scoped_file_size_limit.h"
#include "foundation/shared_string.h"
#include "imaging/plane32.h"

namespace Orvex {
namespace {

// The desktop shows the wallpaper file: a save that runs out of room
// halfway leaves the last wallpaper whole and nothing beside it.
TEST(PosixBmpSaverTest, AFailedSaveKeepsTheLastWallpaper) {
  Testing::TempFolder folder;
  const SharedString name = folder.PathOf("wallpaper.bmp");
  CMemoryPlane32 plane;
  plane.SetSize(PlaneSize{64, 64});
  plane.FillAll(0x112233);
  CBmpSaver().Save(name, plane, plane.GetBounds());
  const std::filesystem::path path(name.Str());
  const Testing::Bytes before = Testing::ReadAll(path);

  plane.FillAll(0x445566);
  std::string error;
  {
    const Testing::ScopedFileSizeLimit limit(4096);  // the headers and a few rows
    try {
      CBmpSaver().Save(name, plane, plane.GetBounds());
    } catch (const IOException& e) {
      error = e.what();
    }
  }

  EXPECT_EQ(error, ToUtf8(name + u" への書き込みに失敗"));
  EXPECT_EQ(Testing::ReadAll(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace Orvex
