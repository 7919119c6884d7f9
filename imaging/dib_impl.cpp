#include "imaging/dib_impl.h"

#include <cstdlib>
#include <new>

#include "foundation/exceptions.h"

namespace Orvex {

namespace {
constexpr const char16_t* kCreateFailed = u"画像保持メモリ(DIB)の作成に失敗しました";
}

bool CDibImpl::IsValid() const { return header_ && bits_ && SurfaceExists(); }

void CDibImpl::AllocateHeader() {
  header_.reset(new (std::nothrow) BitmapInfoHeader{});
  if (!header_) throw RuntimeException(kCreateFailed);
}

void CDibImpl::FreeHeader() { header_.reset(); }

void CDibImpl::FillHeader(const PlaneSize& size, int bits_per_pixel) {
  const int32_t rounded_width = static_cast<int32_t>((int64_t{size.width} + 3) & ~int64_t{3});
  *header_ =
      MakeBitmapInfoHeader(rounded_width, -size.height, static_cast<uint16_t>(bits_per_pixel));
}

void CDibImpl::Create(const PlaneSize& size, int bits_per_pixel) {
  if (IsValid() && GetSize() == size && header_->biBitCount == bits_per_pixel) return;
  Destroy();
  // The rounded width must stay representable, and the bitmap addressable.
  const int64_t rounded_width = (int64_t{size.width} + 3) & ~int64_t{3};
  if (size.width <= 0 || size.height <= 0 || bits_per_pixel <= 0 || rounded_width > INT32_MAX ||
      double(rounded_width) * (bits_per_pixel / 8) * size.height > double(PTRDIFF_MAX)) {
    throw RuntimeException(kCreateFailed);
  }
  AllocateHeader();
  FillHeader(size, bits_per_pixel);
  try {
    CreateSurface();
  } catch (...) {
    Destroy();
    throw;
  }
  logical_width_ = size.width;
}

void CDibImpl::Destroy() {
  DestroySurface();
  bits_ = nullptr;
  FreeHeader();
  logical_width_ = 0;
}

PlaneSize CDibImpl::GetSize() const {
  if (!IsValid()) return PlaneSize{0, 0};
  return PlaneSize{logical_width_, std::abs(header_->biHeight)};
}

PlaneBits CDibImpl::LockBits() {
  if (!IsValid()) return PlaneBits{nullptr, 0};
  FlushSurface();
  const ptrdiff_t row_bytes = ptrdiff_t{header_->biBitCount / 8} * header_->biWidth;
  if (header_->biHeight > 0) {
    // Bottom-up rows: the top row is stored last.
    return PlaneBits{bits_ + row_bytes * (header_->biHeight - 1), -row_bytes};
  }
  return PlaneBits{bits_, row_bytes};
}

}  // namespace Orvex
