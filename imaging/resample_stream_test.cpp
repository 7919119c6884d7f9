#include "imaging/resample_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <new>
#include <random>
#include <stdexcept>
#include <thread>

#include "imaging/plane32.h"
#include "imaging/resample.h"

namespace Orvex {
namespace {

// Smooth shading with a little grain, like a photograph, in B, G, R, A.
void PaintPhotoLike(CPlane32& plane, uint32_t seed) {
  std::mt19937 engine(seed);
  const PlaneBitsLock bits(plane);
  for (int32_t y = 0; y < plane.GetHeight(); ++y) {
    uint8_t* p = bits.Row(y);
    for (int32_t x = 0; x < plane.GetWidth(); ++x, p += 4) {
      for (int c = 0; c < 4; ++c) {
        const double v = 128 + 90 * std::sin(x * 0.043 + c) * std::cos(y * 0.061 - c) +
                         static_cast<int>(engine() % 17) - 8;
        p[c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
      }
    }
  }
}

void CopyRows(CPlane32& to, const CPlane32& from, int32_t begin, int32_t end) {
  const PlaneBitsLock t(to);
  const PlaneBitsLock f(from);
  for (int32_t y = begin; y < end; ++y) {
    std::memcpy(t.Row(y), f.Row(y), 4 * static_cast<size_t>(from.GetWidth()));
  }
}

bool SamePixels(const CPlane32& a, const CPlane32& b) {
  if (a.GetSize() != b.GetSize()) return false;
  const PlaneBitsLock x(a);
  const PlaneBitsLock y(b);
  for (int32_t r = 0; r < a.GetHeight(); ++r) {
    if (std::memcmp(x.Row(r), y.Row(r), 4 * static_cast<size_t>(a.GetWidth())) != 0) return false;
  }
  return true;
}

struct Case {
  PlaneSize source;
  PlaneRect source_rect;
  PlaneSize dest;
  PlaneRect dest_rect;
};

class ResampleWhileFillingTest : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { SetResampleThreads(GetParam()); }
  void TearDown() override { SetResampleThreads(true); }
};

// Whatever order the rows arrive in and whoever computes which band, the
// bytes are those of decoding first and resampling afterwards: both pass
// orders, reduction and enlargement, odd sizes, a source rectangle that
// starts below the top and a destination cut by its plane.
TEST_P(ResampleWhileFillingTest, GivesTheBytesOfFillingFirst) {
  const Case cases[] = {
      {{641, 359}, {0, 0, 641, 359}, {384, 216}, {0, 0, 384, 216}},    // horizontal first
      {{641, 427}, {0, 0, 641, 427}, {384, 216}, {0, 0, 384, 216}},    // vertical first
      {{97, 61}, {0, 0, 97, 61}, {301, 187}, {0, 0, 301, 187}},        // enlarging
      {{333, 251}, {7, 40, 320, 230}, {200, 150}, {-20, 9, 180, 141}}  // offsets and clipping
  };
  for (const Case& c : cases) {
    CMemoryPlane32 picture;
    picture.SetSize(c.source);
    PaintPhotoLike(picture, static_cast<uint32_t>(c.source.width));
    CMemoryPlane32 expected;
    expected.SetSize(c.dest);
    expected.FillAll(0x0000FF);
    ResampleLanczos(expected, picture, c.dest_rect, c.source_rect, PlaneClip{});

    for (int32_t chunk : {1, 13, 1000}) {
      CMemoryPlane32 source;
      source.SetSize(c.source);
      source.FillAll(0xFFFFFF);
      CMemoryPlane32 dest;
      dest.SetSize(c.dest);
      dest.FillAll(0x0000FF);
      int32_t reported = 0;
      ResampleLanczosWhileFilling(dest, source, c.dest_rect, c.source_rect, PlaneClip{},
                                  [&](const RowsReady& rows_ready) {
                                    for (int32_t y = 0; y < c.source.height; y += chunk) {
                                      const int32_t end = std::min(c.source.height, y + chunk);
                                      CopyRows(source, picture, y, end);
                                      // A slow decoder lets the workers catch up.
                                      if (chunk == 13) std::this_thread::yield();
                                      rows_ready(end);
                                      reported = end;
                                    }
                                  });
      EXPECT_EQ(reported, c.source.height);
      EXPECT_TRUE(SamePixels(dest, expected))
          << c.source.width << "x" << c.source.height << " chunk " << chunk;
    }

    // A fill that says nothing until it is done works the same.
    CMemoryPlane32 source;
    source.SetSize(c.source);
    CMemoryPlane32 dest;
    dest.SetSize(c.dest);
    dest.FillAll(0x0000FF);
    ResampleLanczosWhileFilling(
        dest, source, c.dest_rect, c.source_rect, PlaneClip{},
        [&](const RowsReady&) { CopyRows(source, picture, 0, c.source.height); });
    EXPECT_TRUE(SamePixels(dest, expected));
  }
}

// A decoder that fails halfway ends the call with its exception instead of
// leaving the workers waiting for rows that never come.
TEST_P(ResampleWhileFillingTest, AFailingFillStopsEverything) {
  CMemoryPlane32 source;
  source.SetSize(PlaneSize{300, 200});
  source.FillAll(0);
  CMemoryPlane32 dest;
  dest.SetSize(PlaneSize{120, 80});
  for (int32_t fail_at : {0, 37}) {
    EXPECT_THROW(ResampleLanczosWhileFilling(dest, source, PlaneRect{0, 0, 120, 80},
                                             PlaneRect{0, 0, 300, 200}, PlaneClip{},
                                             [&](const RowsReady& rows_ready) {
                                               if (fail_at > 0) rows_ready(fail_at);
                                               throw std::runtime_error("bad data");
                                             }),
                 std::runtime_error);
  }
  // Nothing to draw: the fill still runs, so the source is complete.
  bool filled = false;
  ResampleLanczosWhileFilling(dest, source, PlaneRect{500, 0, 600, 80}, PlaneRect{0, 0, 300, 200},
                              PlaneClip{}, [&](const RowsReady&) { filled = true; });
  EXPECT_TRUE(filled);
}

// Bands left to compute before the next one throws, as a fault translated
// into an exception or a failed allocation would.
std::atomic<int> g_bands_before_failure{0};

template <Detail::PassKernel kPass>
void FailingPass(const Detail::STapPlan& plan, const Detail::SImageView& src,
                 const Detail::SImageView& dst, int32_t begin, int32_t end, bool keep_alpha) {
  if (g_bands_before_failure.fetch_sub(1) == 0) throw std::bad_alloc();
  kPass(plan, src, dst, begin, end, keep_alpha);
}

// A band that fails, in the first pass or the second, on a helper or on
// the caller, ends the call with its exception: nobody waits for the rows
// it left unwritten, and the workers are free for the next resample. Run
// with a deadline, so that a hang fails the test instead of the whole run.
TEST(ResampleWhileFillingFaultTest, AFailingBandEndsTheCall) {
  const Detail::SPassKernels failing{FailingPass<Detail::HorizontalPassPortable>,
                                     FailingPass<Detail::VerticalPassPortable>};
  CMemoryPlane32 source;
  source.SetSize(PlaneSize{641, 427});
  PaintPhotoLike(source, 5);
  CMemoryPlane32 dest;
  dest.SetSize(PlaneSize{384, 216});
  const PlaneBitsLock source_bits(source);
  const PlaneBitsLock dest_bits(dest);
  const Detail::SImageView src{source_bits.Row(0), source_bits.Step(), 641, 427};
  const Detail::SImageView dst{dest_bits.Row(0), dest_bits.Step(), 384, 216};
  // The first pass has 14 bands here, the second 27; the last call has
  // none fail.
  for (int fail_at : {0, 6, 13, 20, 40, 1000}) {
    g_bands_before_failure = fail_at;
    auto call = std::async(std::launch::async, [&] {
      Detail::ResampleViewsWhileFilling(Detail::ResampleFilter::kLanczos, false, src, dst, failing,
                                        true, 0, [](const RowsReady& rows_ready) {
                                          for (int32_t rows = 10; rows < 427; rows += 10) {
                                            rows_ready(rows);
                                            std::this_thread::yield();
                                          }
                                        });
    });
    if (call.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
      std::fprintf(stderr, "a failing band at %d left the resampler waiting\n", fail_at);
      std::_Exit(1);
    }
    if (fail_at < 1000) {
      EXPECT_THROW(call.get(), std::bad_alloc) << "failing band " << fail_at;
    } else {
      EXPECT_NO_THROW(call.get());
    }
  }
}

// Writes a plane's rows into a sink as a decoder does: `hand` rows at a
// time (as many as the sink allows at most) before reporting them.
void WriteRows(IRowSink& sink, const CPlane32& picture, int32_t hand) {
  const PlaneBitsLock bits(picture);
  const auto row_bytes = 4 * static_cast<size_t>(picture.GetWidth());
  for (int32_t y = 0; y < picture.GetHeight(); y += hand) {
    const int32_t end = std::min(picture.GetHeight(), y + hand);
    for (int32_t r = y; r < end; ++r) {
      uint8_t* row = sink.RowFor(r);
      // Asked again before it is reported, a row is the same memory.
      ASSERT_EQ(sink.RowFor(r), row);
      std::memcpy(row, bits.Row(r), row_bytes);
    }
    sink.RowsDone(end);
  }
}

// Streamed through the rings, with any kernels and on one thread or all,
// the picture gives the bytes of the plain resampling of the whole plane:
// both pass orders, strong reductions whose rings wrap many times,
// enlargements whose rings hold the whole picture, odd sizes, source
// rectangles away from the corner and destinations cut by their plane.
// Every row also reaches the observer, in order and intact; and the
// destination's rows handed over from a ring are the same.
TEST(ResampleRowsTest, GivesTheBytesOfTheWholePlane) {
  const Case cases[] = {
      {{1201, 53}, {0, 0, 1201, 53}, {97, 31}, {0, 0, 97, 31}},           // horizontal first
      {{53, 1201}, {0, 0, 53, 1201}, {31, 97}, {0, 0, 31, 97}},           // vertical first
      {{641, 427}, {0, 0, 641, 427}, {384, 216}, {0, 0, 384, 216}},       // vertical first
      {{641, 359}, {0, 0, 641, 359}, {384, 216}, {0, 0, 384, 216}},       // horizontal first
      {{97, 61}, {0, 0, 97, 61}, {301, 187}, {0, 0, 301, 187}},           // enlarging
      {{333, 651}, {7, 140, 320, 630}, {200, 150}, {-20, 9, 180, 141}},   // offsets, clipping
      {{651, 333}, {140, 7, 630, 320}, {150, 200}, {9, -20, 141, 180}}};  // the same across
  const Detail::SPassKernels* levels[] = {&Detail::PassKernelsFor(SimdLevel::kPortable),
                                          &Detail::PassKernelsFor(SimdLevel::kSse2),
                                          &Detail::PassKernelsFor(SimdLevel::kAvx2)};
  for (const Case& c : cases) {
    CMemoryPlane32 picture;
    picture.SetSize(c.source);
    PaintPhotoLike(picture, static_cast<uint32_t>(c.source.height));
    CMemoryPlane32 expected;
    expected.SetSize(c.dest);
    expected.FillAll(0x0000FF);
    ResampleLanczos(expected, picture, c.dest_rect, c.source_rect, PlaneClip{});

    PlaneRect d = c.dest_rect;
    PlaneRect s = c.source_rect;
    ASSERT_TRUE(Detail::ClipScaled(d, s, c.dest, c.source, PlaneClip{}));
    for (const Detail::SPassKernels* kernels : levels) {
      for (bool threads : {false, true}) {
        for (int32_t hand : {1, IRowSink::kRowsInHand}) {
          CMemoryPlane32 dest;
          dest.SetSize(c.dest);
          dest.FillAll(0x0000FF);
          int32_t seen = 0;
          bool intact = true;
          {
            const PlaneBitsLock dest_bits(dest);
            const PlaneBitsLock picture_bits(picture);
            Detail::ResampleRows(
                Detail::SStreamJob{Detail::ResampleFilter::kLanczos, false, c.source, s,
                                   Detail::ViewOf(dest_bits, d), *kernels, threads},
                [&](IRowSink& sink) { WriteRows(sink, picture, hand); },
                [&](int32_t y, const uint8_t* row) {
                  intact = intact && y == seen &&
                           std::memcmp(row, picture_bits.Row(y),
                                       4 * static_cast<size_t>(c.source.width)) == 0;
                  ++seen;
                });
          }
          EXPECT_TRUE(SamePixels(dest, expected)) << c.source.width << "x" << c.source.height
                                                  << " threads " << threads << " hand " << hand;
          EXPECT_EQ(seen, c.source.height);
          EXPECT_TRUE(intact);

          // Handed over band by band from a ring, the rows are the same.
          CMemoryPlane32 taken;
          taken.SetSize(c.dest);
          taken.FillAll(0x0000FF);
          {
            const PlaneBitsLock taken_bits(taken);
            const Detail::SImageView dst{nullptr, 0, d.right - d.left, d.bottom - d.top};
            Detail::ResampleRows(
                Detail::SStreamJob{Detail::ResampleFilter::kLanczos, false, c.source, s, dst,
                                   *kernels, threads},
                [&](IRowSink& sink) { WriteRows(sink, picture, hand); }, {},
                [&](int32_t begin, int32_t end, const Detail::SImageView& rows) {
                  for (int32_t y = begin; y < end; ++y) {
                    std::memcpy(taken_bits.Row(d.top + y) + 4 * static_cast<ptrdiff_t>(d.left),
                                rows.Row(y - begin), 4 * static_cast<size_t>(rows.width));
                  }
                });
          }
          EXPECT_TRUE(SamePixels(taken, expected));
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, ResampleWhileFillingTest, testing::Bool());

}  // namespace
}  // namespace Orvex
