#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"
#include "imaging/dib_impl.h"

namespace Orvex {

struct CDibImpl::Surface {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
};

CDibImpl::CDibImpl() = default;
CDibImpl::~CDibImpl() { Destroy(); }

void CDibImpl::CreateSurface() {
  constexpr const char16_t* kCreateFailed = u"画像保持メモリ(DIB)の作成に失敗しました";
  surface_ = std::make_unique<Surface>();
  surface_->dc = CreateCompatibleDC(nullptr);
  if (!surface_->dc) throw Win32Exception(kCreateFailed);
  void* bits = nullptr;
  surface_->bitmap =
      CreateDIBSection(surface_->dc, reinterpret_cast<const BITMAPINFO*>(header_.get()),
                       DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!surface_->bitmap || !bits) throw Win32Exception(kCreateFailed);
  surface_->previous = SelectObject(surface_->dc, surface_->bitmap);
  bits_ = static_cast<uint8_t*>(bits);
}

void CDibImpl::DestroySurface() {
  if (!surface_) return;
  if (surface_->dc && surface_->previous) SelectObject(surface_->dc, surface_->previous);
  if (surface_->bitmap) DeleteObject(surface_->bitmap);
  if (surface_->dc) DeleteDC(surface_->dc);
  surface_.reset();
}

bool CDibImpl::SurfaceExists() const { return surface_ && surface_->dc && surface_->bitmap; }

void CDibImpl::FlushSurface() { GdiFlush(); }

PlaneDeviceContext CDibImpl::GetDeviceContext() {
  return SurfaceExists() ? static_cast<PlaneDeviceContext>(surface_->dc) : nullptr;
}

}  // namespace Orvex
