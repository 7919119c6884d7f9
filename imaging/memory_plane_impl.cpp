#include "imaging/memory_plane_impl.h"

#include <limits>

#include "foundation/exceptions.h"
#include "imaging/plane_block_cache.h"

namespace Orvex {

CMemoryPlaneImpl::~CMemoryPlaneImpl() { Destroy(); }

bool CMemoryPlaneImpl::IsValid() const { return buffer_ && width_ > 0 && height_ > 0; }

void CMemoryPlaneImpl::Create(const PlaneSize& size, int bits_per_pixel) {
  PlaneBlockCache& cache = PlaneBlockCache::Instance();
  cache.Give(buffer_);
  buffer_ = nullptr;
  width_ = height_ = 0;
  stride_ = 0;
  try {
    if (size.width <= 0 || size.height <= 0 || bits_per_pixel <= 0 || bits_per_pixel > 32) {
      throw std::bad_alloc();
    }
    const uint64_t stride =
        (uint64_t(bits_per_pixel / 8) * uint64_t(size.width) + 3) & ~uint64_t{3};
    // At most 32 bits per pixel: the product stays below 2^64.
    const uint64_t bytes = stride * uint64_t(size.height);
    if (bytes > uint64_t(std::numeric_limits<ptrdiff_t>::max())) throw std::bad_alloc();
    buffer_ = cache.Take(static_cast<size_t>(bytes));
    stride_ = static_cast<ptrdiff_t>(stride);
    width_ = size.width;
    height_ = size.height;
  } catch (...) {
    buffer_ = nullptr;
    throw RuntimeException(u"画像保持メモリの作成に失敗しました");
  }
  cache.CountCreate();
}

void CMemoryPlaneImpl::Destroy() {
  PlaneBlockCache::Instance().Give(buffer_);
  buffer_ = nullptr;
  stride_ = 0;
  width_ = height_ = 0;
}

PlaneSize CMemoryPlaneImpl::GetSize() const { return PlaneSize{width_, height_}; }

PlaneBits CMemoryPlaneImpl::LockBits() { return PlaneBits{buffer_, stride_}; }

}  // namespace Orvex
