// AVX2 forms of the pass kernels: the arithmetic of the SSE2 forms (split
// 16-bit weights, 32-bit sums, saturating packs) on twice as many pixels.
// The horizontal pass works two rows at once, one per 128-bit lane, so both
// lanes share the weights of a position.
#include <immintrin.h>

#include <cstring>

#include "imaging/resample_kernels.h"

#define PELMORA_AVX2 __attribute__((target("avx2"), force_align_arg_pointer))
#define PELMORA_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace Orvex::Detail {
namespace {

PELMORA_AVX2_INLINE __m128i LoadPixel(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

// Pixels j and j+1 (8 bytes) of one row, for the pair shuffle below.
PELMORA_AVX2_INLINE __m128i LoadPair(const uint8_t* row, const int32_t* idx, bool adjacent) {
  const uint8_t* p0 = row + 4 * static_cast<ptrdiff_t>(idx[0]);
  if (adjacent) return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p0));
  return _mm_unpacklo_epi32(LoadPixel(p0), LoadPixel(row + 4 * static_cast<ptrdiff_t>(idx[1])));
}

PELMORA_AVX2_INLINE __m256i Descale(__m256i hi, __m256i lo) {
  const __m256i sum = _mm256_add_epi32(_mm256_slli_epi32(hi, 8), lo);
  return _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(32768)), 16);
}

PELMORA_AVX2_INLINE uint32_t PackPixel(__m128i channels, bool keep_alpha) {
  __m128i packed = _mm_packs_epi32(channels, channels);
  packed = _mm_packus_epi16(packed, packed);
  const uint32_t v = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
  return keep_alpha ? v : (v & 0x00FFFFFFu);
}

}  // namespace

PELMORA_AVX2 void HorizontalPassAvx2(const STapPlan& plan, const SImageView& src,
                                     const SImageView& dst, int32_t row_begin, int32_t row_end,
                                     bool keep_alpha) {
  // From pixels j, j+1 (bytes 0-3, 4-7) to words j.B j+1.B j.G j+1.G ...
  const __m256i pair_shuffle =
      _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1,  //
                       0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
  const int32_t taps = plan.taps;
  int32_t y = row_begin;
  for (; y + 1 < row_end; y += 2) {
    const uint8_t* s0 = src.Row(y);
    const uint8_t* s1 = src.Row(y + 1);
    uint8_t* d0 = dst.Row(y);
    uint8_t* d1 = dst.Row(y + 1);
    for (int32_t i = 0; i < plan.length; ++i) {
      const int32_t* idx = plan.Indices(i);
      const int16_t* split = plan.Split(i);
      const bool adjacent = plan.PairsAdjacent(i);
      __m256i hi = _mm256_setzero_si256();
      __m256i lo = _mm256_setzero_si256();
      for (int32_t j = 0; j < taps; j += 2, split += 4) {
        const __m256i pixels =
            _mm256_inserti128_si256(_mm256_castsi128_si256(LoadPair(s0, idx + j, adjacent)),
                                    LoadPair(s1, idx + j, adjacent), 1);
        const __m256i x = _mm256_shuffle_epi8(pixels, pair_shuffle);
        int64_t packed_weights;
        std::memcpy(&packed_weights, split, 8);
        const __m256i w = _mm256_set1_epi64x(packed_weights);
        hi = _mm256_add_epi32(hi, _mm256_madd_epi16(x, _mm256_shuffle_epi32(w, 0x00)));
        lo = _mm256_add_epi32(lo, _mm256_madd_epi16(x, _mm256_shuffle_epi32(w, 0x55)));
      }
      const __m256i channels = Descale(hi, lo);
      const uint32_t p0 = PackPixel(_mm256_castsi256_si128(channels), keep_alpha);
      const uint32_t p1 = PackPixel(_mm256_extracti128_si256(channels, 1), keep_alpha);
      std::memcpy(d0 + 4 * static_cast<ptrdiff_t>(i), &p0, 4);
      std::memcpy(d1 + 4 * static_cast<ptrdiff_t>(i), &p1, 4);
    }
  }
  if (y < row_end) HorizontalPassSse2(plan, src, dst, y, row_end, keep_alpha);
}

PELMORA_AVX2 void VerticalPassAvx2(const STapPlan& plan, const SImageView& src,
                                   const SImageView& dst, int32_t row_begin, int32_t row_end,
                                   bool keep_alpha) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i alpha_mask =
      keep_alpha ? _mm256_set1_epi32(-1) : _mm256_set1_epi32(static_cast<int32_t>(0x00FFFFFF));
  const int32_t taps = plan.taps;
  const int32_t pairs = taps / 2;
  const int32_t width = dst.width;
  const int32_t vector_end = width & ~7;
  for (int32_t y = row_begin; y < row_end; ++y) {
    const int32_t* idx = plan.Indices(y);
    const int16_t* split = plan.Split(y);
    uint8_t* d = dst.Row(y);
    for (int32_t x = 0; x < vector_end; x += 8) {
      // Lane-wise unpacking scatters pixels 0-7 over the accumulators as
      // (0|4) (1|5) (2|6) (3|7); the lane-wise packs below undo it.
      __m256i h0 = zero, h1 = zero, h2 = zero, h3 = zero;
      __m256i l0 = zero, l1 = zero, l2 = zero, l3 = zero;
      const ptrdiff_t offset = 4 * static_cast<ptrdiff_t>(x);
      for (int32_t q = 0; q < pairs; ++q) {
        const __m256i a =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src.Row(idx[2 * q]) + offset));
        const __m256i b =
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src.Row(idx[2 * q + 1]) + offset));
        int32_t hi_pair, lo_pair;
        std::memcpy(&hi_pair, split + 4 * q, 4);
        std::memcpy(&lo_pair, split + 4 * q + 2, 4);
        const __m256i whi = _mm256_set1_epi32(hi_pair);
        const __m256i wlo = _mm256_set1_epi32(lo_pair);
        const __m256i ab_low = _mm256_unpacklo_epi8(a, b);
        const __m256i ab_high = _mm256_unpackhi_epi8(a, b);
        const __m256i x0 = _mm256_unpacklo_epi8(ab_low, zero);
        const __m256i x1 = _mm256_unpackhi_epi8(ab_low, zero);
        const __m256i x2 = _mm256_unpacklo_epi8(ab_high, zero);
        const __m256i x3 = _mm256_unpackhi_epi8(ab_high, zero);
        h0 = _mm256_add_epi32(h0, _mm256_madd_epi16(x0, whi));
        l0 = _mm256_add_epi32(l0, _mm256_madd_epi16(x0, wlo));
        h1 = _mm256_add_epi32(h1, _mm256_madd_epi16(x1, whi));
        l1 = _mm256_add_epi32(l1, _mm256_madd_epi16(x1, wlo));
        h2 = _mm256_add_epi32(h2, _mm256_madd_epi16(x2, whi));
        l2 = _mm256_add_epi32(l2, _mm256_madd_epi16(x2, wlo));
        h3 = _mm256_add_epi32(h3, _mm256_madd_epi16(x3, whi));
        l3 = _mm256_add_epi32(l3, _mm256_madd_epi16(x3, wlo));
      }
      const __m256i p01 = _mm256_packs_epi32(Descale(h0, l0), Descale(h1, l1));
      const __m256i p23 = _mm256_packs_epi32(Descale(h2, l2), Descale(h3, l3));
      const __m256i out = _mm256_and_si256(_mm256_packus_epi16(p01, p23), alpha_mask);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + offset), out);
    }
    VerticalRowPortable(plan, src, d, y, vector_end, width, keep_alpha);
  }
}

}  // namespace Orvex::Detail
