#include "foundation/dll.h"

#include <gtest/gtest.h>

#include <string>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/platform.h"

namespace Orvex {
namespace {

// A C library that every process of the platform can load, with a plain
// (cdecl) export to call.
const char16_t* const kMathLibrary = kIsWindows ? u"msvcrt.dll" : u"libm.so.6";
const char16_t* const kLoadedLibrary = kIsWindows ? u"kernel32.dll" : u"libc.so.6";

std::string Narrow(const SharedString& text) { return GetDefaultEncoding().ToMultiByte(text); }

TEST(DllTest, EntryPointsOfALoadedLibraryCanBeCalled) {
  CDll math(kMathLibrary, true);
  EXPECT_TRUE(math.Owns());
  auto* cosine = math.GetFunction<double(double)>("cos");
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  // A second object on the same library is independent of the first.
  {
    CDll again(kMathLibrary, true);
    EXPECT_NE(again.GetEntryPoint("sqrt"), nullptr);
  }
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
}

TEST(DllTest, AnAlreadyLoadedLibraryIsFoundWithoutLoading) {
  CDll system(kLoadedLibrary, false);
  EXPECT_FALSE(system.Owns());
  EXPECT_NE(system.GetEntryPoint(kIsWindows ? "GetTickCount" : "strlen"), nullptr);
}

TEST(DllTest, MissingLibrariesAndEntriesFailWithTheirNames) {
  const SharedString missing(u"pelmora-no-such-library.dll");
  for (bool load : {true, false}) {
    try {
      CDll dll(missing, load);
      FAIL() << "loaded a missing library";
    } catch (const DllNotFoundException& e) {
      EXPECT_EQ(std::string(e.what()).rfind(Narrow(missing + u"のロードに失敗"), 0), 0u)
          << e.what();
    }
  }

  CDll math(kMathLibrary, true);
  try {
    math.GetEntryPoint("NoSuchEntry");
    FAIL() << "found a missing entry point";
  } catch (const EntryPointNotFoundException& e) {
    EXPECT_EQ(std::string(e.what()).rfind(
                  Narrow(SharedString(kMathLibrary) + u"から 'NoSuchEntry' の取得に失敗"), 0),
              0u)
        << e.what();
  }
}

}  // namespace
}  // namespace Orvex
