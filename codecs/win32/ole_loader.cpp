#include "codecs/win32/ole_loader.h"

#include <cstring>

#include "codecs/gif_structure.h"
#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "foundation/win32/win32.h"
#include "imaging/plane.h"

// Need <windows.h> as win32.h sets it up.
#include <ole2.h>
#include <olectl.h>

namespace Orvex {

namespace {

// COM on the calling thread for as long as the picture lives. The system
// decoder is documented to need it, and nothing at start-up provides it;
// whoever else uses COM on this thread (the folder chooser) may have set it
// up before us or may do so while we hold it. Every successful call,
// S_FALSE included, is balanced; a thread already in the other apartment
// kind (RPC_E_CHANGED_MODE) has COM and is left as it is.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }

 private:
  const bool initialised_;
};

class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  int Dpi(int index) const { return dc_ ? GetDeviceCaps(dc_, index) : 96; }

 private:
  HDC dc_;
};

class GlobalBlock {
 public:
  explicit GlobalBlock(size_t bytes) : block_(GlobalAlloc(GMEM_MOVEABLE, bytes)) {}
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  ~GlobalBlock() {
    if (block_) GlobalFree(block_);
  }
  HGLOBAL Get() const { return block_; }

 private:
  HGLOBAL block_;
};

class DeviceContextLease {
 public:
  explicit DeviceContextLease(CPlane& plane) : plane_(plane), dc_(plane.GetDeviceContext()) {}
  DeviceContextLease(const DeviceContextLease&) = delete;
  DeviceContextLease& operator=(const DeviceContextLease&) = delete;
  ~DeviceContextLease() { plane_.ReleaseDeviceContext(); }
  HDC Get() const { return static_cast<HDC>(dc_); }

 private:
  CPlane& plane_;
  PlaneDeviceContext dc_;
};

[[noreturn]] void ThrowLoadFailure() { throw ImageLoadException(u"画像の読み込みに失敗しました"); }

}  // namespace

// Members are destroyed in reverse order: the picture goes before COM.
struct COleLoader::State {
  ComApartment com;
  IPicture* picture = nullptr;

  ~State() {
    if (picture) picture->Release();
  }
};

COleLoader::COleLoader() = default;
COleLoader::~COleLoader() = default;

bool COleLoader::Open(const std::shared_ptr<CFileData>& source) {
  state_.reset();
  if (!source || source->GetSize() == 0) return false;
  // A PNG reaches this loader only when the PNG decoder refused it. The
  // system's decoder reads no PNG on Windows; Wine's does, and a chunk
  // whose length lies (the PNG test suite has several) makes it allocate
  // gigabytes, which its heap then keeps in good part.
  static constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (source->GetSize() >= sizeof kPngSignature &&
      std::memcmp(source->GetData(), kPngSignature, sizeof kPngSignature) == 0) {
    return false;
  }
  // Wine's decoder keeps the frames it read of a GIF it cannot decode to
  // the end (a file still being copied, a download broken off, harmed
  // data): 800 KB of a 1024x768 one at every try, for as long as the
  // program runs. Such a GIF, which no decoder shows whole, is refused
  // before it gets there.
  if (IsGif(source->GetData(), source->GetSize()) &&
      !IsWholeGif(source->GetData(), source->GetSize())) {
    return false;
  }
  auto state = std::make_unique<State>();

  GlobalBlock block(source->GetSize());
  if (!block.Get()) return false;
  void* bytes = GlobalLock(block.Get());
  if (!bytes) return false;
  std::memcpy(bytes, source->GetData(), source->GetSize());
  GlobalUnlock(block.Get());

  IStream* stream = nullptr;
  if (CreateStreamOnHGlobal(block.Get(), FALSE, &stream) != S_OK || !stream) return false;
  void* picture = nullptr;
  // Not in run mode: Wine makes a picture loaded in run mode one that does
  // not own its bitmap, which then outlives every change that showed a GIF
  // or an icon (3 MB for each 1024x768 picture). Windows frees it either
  // way; out of run mode it also keeps the file's bytes until the release.
  const HRESULT result =
      OleLoadPicture(stream, static_cast<LONG>(source->GetSize()), FALSE, IID_IPicture, &picture);
  stream->Release();
  state->picture = static_cast<IPicture*>(picture);
  if (result != S_OK || !state->picture) return false;
  state_ = std::move(state);
  return true;
}

PlaneSize COleLoader::GetImageSize() {
  if (!state_) return PlaneSize{0, 0};
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  state_->picture->get_Width(&width);
  state_->picture->get_Height(&height);
  const ScreenDc screen;
  return PlaneSize{MulDiv(width, screen.Dpi(LOGPIXELSX), 2540),
                   MulDiv(height, screen.Dpi(LOGPIXELSY), 2540)};
}

void COleLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  if (!state_) ThrowLoadFailure();
  OLE_XSIZE_HIMETRIC hm_width = 0;
  OLE_YSIZE_HIMETRIC hm_height = 0;
  state_->picture->get_Width(&hm_width);
  state_->picture->get_Height(&hm_height);
  const PlaneSize size = GetImageSize();
  // What a new plane holds; a reused one may still show its last picture.
  plane.Fill(0, PlaneRect{x, y, x + size.width, y + size.height});

  HRESULT result;
  {
    DeviceContextLease dc(plane);
    if (!dc.Get()) ThrowLoadFailure();
    // The source rectangle runs from the bottom up: HIMETRIC y grows upwards.
    result = state_->picture->Render(dc.Get(), x, y, size.width, size.height, 0, hm_height,
                                     hm_width, -hm_height, nullptr);
  }
  if (result != S_OK) ThrowLoadFailure();
}

SharedString COleLoader::GetFormatName() {
  SHORT type = 0;
  if (!state_ || state_->picture->get_Type(&type) != S_OK) return u"OLE Image";
  switch (type) {
    case PICTYPE_BITMAP:
      return u"OLE ビットマップ";
    case PICTYPE_METAFILE:
      return u"OLE メタファイル";
    case PICTYPE_ICON:
      return u"OLE アイコン";
    case PICTYPE_ENHMETAFILE:
      return u"OLE 拡張メタファイル";
    default:
      return u"OLE Image";
  }
}

}  // namespace Orvex
