#include "app/linux/x11_shared_plane.h"

#include <utility>

#include "foundation/exceptions.h"
#include "imaging/plane_impl.h"

// Last: Xlib's macros must not reach the headers above.
#include "app/linux/x11_shared_image.h"

namespace {

// Storage that is the image's memory: never re-created, only used at a
// size that fits.
class SharedImageStorage : public Orvex::IPlaneImpl {
 public:
  explicit SharedImageStorage(std::shared_ptr<X11SharedImage> image) : image_(std::move(image)) {}

  bool IsValid() const override { return true; }
  void Create(const Orvex::PlaneSize& size, int bits_per_pixel) override {
    if (bits_per_pixel != 32 || size.width > image_->Width() || size.height > image_->Height()) {
      throw Orvex::RuntimeException(u"画像保持メモリの作成に失敗しました");
    }
  }
  void Destroy() override {}
  Orvex::PlaneSize GetSize() const override {
    return Orvex::PlaneSize{image_->Width(), image_->Height()};
  }
  bool KeepsExactSize() const override { return false; }
  bool IsDib() const override { return false; }
  bool IsReadOnly() const override { return false; }
  Orvex::PlaneBits LockBits() override {
    return Orvex::PlaneBits{image_->Row(0), image_->BytesPerLine()};
  }
  void UnlockBits() override {}
  Orvex::PlaneDeviceContext GetDeviceContext() override { return nullptr; }
  void ReleaseDeviceContext() override {}

 private:
  std::shared_ptr<X11SharedImage> image_;
};

}  // namespace

X11SharedPlane::X11SharedPlane(std::shared_ptr<X11SharedImage> image, std::shared_ptr<void> owner)
    : CPlane32(std::make_shared<SharedImageStorage>(std::move(image))), owner_(std::move(owner)) {}
