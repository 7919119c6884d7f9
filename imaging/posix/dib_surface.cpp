#include <cstdlib>

#include "foundation/exceptions.h"
#include "imaging/dib_impl.h"

namespace Orvex {

// Without a window system the bitmap is plain zero-filled heap memory
// (as a new DIB section is), laid out as the header describes.
struct CDibImpl::Surface {
  void* memory = nullptr;
};

CDibImpl::CDibImpl() = default;
CDibImpl::~CDibImpl() { Destroy(); }

void CDibImpl::CreateSurface() {
  const size_t row_bytes = size_t(header_->biBitCount / 8) * size_t(header_->biWidth);
  const size_t rows = size_t(std::abs(header_->biHeight));
  void* memory = std::calloc(rows, row_bytes);
  if (!memory) throw RuntimeException(u"画像保持メモリ(DIB)の作成に失敗しました");
  surface_ = std::make_unique<Surface>();
  surface_->memory = memory;
  bits_ = static_cast<uint8_t*>(memory);
}

void CDibImpl::DestroySurface() {
  if (surface_) std::free(surface_->memory);
  surface_.reset();
}

bool CDibImpl::SurfaceExists() const { return surface_ && surface_->memory; }

void CDibImpl::FlushSurface() {}

PlaneDeviceContext CDibImpl::GetDeviceContext() { return nullptr; }

}  // namespace Orvex
