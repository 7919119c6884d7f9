// SSE2 forms of the pass kernels. The weights are split into a high and a
// low part that each fit a 16-bit multiply-add (see STapPlan::Split), so the
// sums are the portable kernel's 32-bit sums exactly; packing with signed
// and then unsigned saturation is the portable clamp to 0-255.
#include <emmintrin.h>

#include <cstring>

#include "imaging/resample_kernels.h"

// The entry points run on worker threads whose stacks 32-bit Windows only
// aligns to 4 bytes; realign so that spilled vectors stay aligned.
#define PELMORA_SSE2 __attribute__((target("sse2"), force_align_arg_pointer))
#define PELMORA_SSE2_INLINE __attribute__((target("sse2"), always_inline)) inline

namespace Orvex::Detail {
namespace {

PELMORA_SSE2_INLINE __m128i LoadPixel(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm_cvtsi32_si128(v);
}

// 256 * hi + lo + one half, shifted down: still 32-bit per channel.
PELMORA_SSE2_INLINE __m128i Descale(__m128i hi, __m128i lo) {
  const __m128i sum = _mm_add_epi32(_mm_slli_epi32(hi, 8), lo);
  return _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(32768)), 16);
}

PELMORA_SSE2_INLINE void StorePixel(uint8_t* d, __m128i channels, bool keep_alpha) {
  __m128i packed = _mm_packs_epi32(channels, channels);
  packed = _mm_packus_epi16(packed, packed);
  uint32_t v = static_cast<uint32_t>(_mm_cvtsi128_si32(packed));
  if (!keep_alpha) v &= 0x00FFFFFFu;
  std::memcpy(d, &v, 4);
}

}  // namespace

PELMORA_SSE2 void HorizontalPassSse2(const STapPlan& plan, const SImageView& src,
                                     const SImageView& dst, int32_t row_begin, int32_t row_end,
                                     bool keep_alpha) {
  const __m128i zero = _mm_setzero_si128();
  const int32_t taps = plan.taps;
  for (int32_t y = row_begin; y < row_end; ++y) {
    const uint8_t* s = src.Row(y);
    uint8_t* d = dst.Row(y);
    for (int32_t i = 0; i < plan.length; ++i, d += 4) {
      const int32_t* idx = plan.Indices(i);
      const int16_t* split = plan.Split(i);
      __m128i hi = zero;
      __m128i lo = zero;
      for (int32_t j = 0; j < taps; j += 2, split += 4) {
        const __m128i a = LoadPixel(s + 4 * static_cast<ptrdiff_t>(idx[j]));
        const __m128i b = LoadPixel(s + 4 * static_cast<ptrdiff_t>(idx[j + 1]));
        // Words a.B b.B a.G b.G a.R b.R a.A b.A against (w_j, w_j+1) pairs.
        const __m128i x = _mm_unpacklo_epi8(_mm_unpacklo_epi8(a, b), zero);
        const __m128i w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(split));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(x, _mm_shuffle_epi32(w, 0x00)));
        lo = _mm_add_epi32(lo, _mm_madd_epi16(x, _mm_shuffle_epi32(w, 0x55)));
      }
      StorePixel(d, Descale(hi, lo), keep_alpha);
    }
  }
}

PELMORA_SSE2 void VerticalPassSse2(const STapPlan& plan, const SImageView& src,
                                   const SImageView& dst, int32_t row_begin, int32_t row_end,
                                   bool keep_alpha) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i alpha_mask =
      keep_alpha ? _mm_set1_epi32(-1) : _mm_set1_epi32(static_cast<int32_t>(0x00FFFFFF));
  const int32_t taps = plan.taps;
  const int32_t pairs = taps / 2;
  const int32_t width = dst.width;
  const int32_t vector_end = width & ~3;
  for (int32_t y = row_begin; y < row_end; ++y) {
    const int32_t* idx = plan.Indices(y);
    const int16_t* split = plan.Split(y);
    uint8_t* d = dst.Row(y);
    for (int32_t x = 0; x < vector_end; x += 4) {
      __m128i h0 = zero, h1 = zero, h2 = zero, h3 = zero;
      __m128i l0 = zero, l1 = zero, l2 = zero, l3 = zero;
      const ptrdiff_t offset = 4 * static_cast<ptrdiff_t>(x);
      for (int32_t q = 0; q < pairs; ++q) {
        const __m128i a =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.Row(idx[2 * q]) + offset));
        const __m128i b =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(src.Row(idx[2 * q + 1]) + offset));
        const __m128i w = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(split + 4 * q));
        const __m128i whi = _mm_shuffle_epi32(w, 0x00);
        const __m128i wlo = _mm_shuffle_epi32(w, 0x55);
        const __m128i ab01 = _mm_unpacklo_epi8(a, b);
        const __m128i ab23 = _mm_unpackhi_epi8(a, b);
        const __m128i x0 = _mm_unpacklo_epi8(ab01, zero);
        const __m128i x1 = _mm_unpackhi_epi8(ab01, zero);
        const __m128i x2 = _mm_unpacklo_epi8(ab23, zero);
        const __m128i x3 = _mm_unpackhi_epi8(ab23, zero);
        h0 = _mm_add_epi32(h0, _mm_madd_epi16(x0, whi));
        l0 = _mm_add_epi32(l0, _mm_madd_epi16(x0, wlo));
        h1 = _mm_add_epi32(h1, _mm_madd_epi16(x1, whi));
        l1 = _mm_add_epi32(l1, _mm_madd_epi16(x1, wlo));
        h2 = _mm_add_epi32(h2, _mm_madd_epi16(x2, whi));
        l2 = _mm_add_epi32(l2, _mm_madd_epi16(x2, wlo));
        h3 = _mm_add_epi32(h3, _mm_madd_epi16(x3, whi));
        l3 = _mm_add_epi32(l3, _mm_madd_epi16(x3, wlo));
      }
      const __m128i p01 = _mm_packs_epi32(Descale(h0, l0), Descale(h1, l1));
      const __m128i p23 = _mm_packs_epi32(Descale(h2, l2), Descale(h3, l3));
      const __m128i out = _mm_and_si128(_mm_packus_epi16(p01, p23), alpha_mask);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + offset), out);
    }
    VerticalRowPortable(plan, src, d, y, vector_end, width, keep_alpha);
  }
}

}  // namespace Orvex::Detail
