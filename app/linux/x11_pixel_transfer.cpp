#include <algorithm>
#include <cstring>
#include <vector>

#include "app/linux/x11_desktop.h"
#include "app/linux/x11_pixel_format.h"
#include "foundation/exceptions.h"
#include "foundation/parallel_for.h"
#include "imaging/plane32.h"

// Last: Xlib defines macros (None, True, Status, ...) that our headers must
// not see.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/linux/x11_pixel_transfer.h"

namespace {

// Pixels sent to the server per request: large enough to keep the number
// of requests small, small enough to keep the band buffer modest.
constexpr size_t kBandBytes = 4 << 20;
// A band of shared memory: the server copies one while the next is
// converted, so two small ones keep both sides busy, and their pages are
// mapped once and reused.
constexpr size_t kSharedBandBytes = 1 << 20;

// An image over a band buffer of ours; Xlib must not free the buffer.
class BandImage {
 public:
  BandImage(Display* display, const XWindowAttributes& root, int32_t width, int32_t rows) {
    image_ =
        XCreateImage(display, root.visual, static_cast<unsigned>(root.depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(width), static_cast<unsigned>(rows), 32, 0);
    if (!image_)
      throw Orvex::RuntimeException(Orvex::SharedString(kX11SetFailed) + u" : XCreateImage");
    buffer_.resize(static_cast<size_t>(image_->bytes_per_line) * static_cast<size_t>(rows));
    image_->data = buffer_.data();
  }
  BandImage(const BandImage&) = delete;
  BandImage& operator=(const BandImage&) = delete;
  ~BandImage() {
    image_->data = nullptr;
    XDestroyImage(image_);
  }

  XImage* Get() const { return image_; }
  uint8_t* Row(int32_t y) const {
    return reinterpret_cast<uint8_t*>(image_->data) +
           static_cast<size_t>(image_->bytes_per_line) * y;
  }

 private:
  XImage* image_ = nullptr;
  std::vector<char> buffer_;
};

// The visible part of a plane on the screen.
struct Placement {
  int32_t src_x, src_y, dst_x, dst_y, width, height;

  bool CoversScreen(const XWindowAttributes& root) const {
    return width >= root.width && height >= root.height;
  }
};

// dx, dy: where the plane's top-left corner goes, in root-window pixels.
Placement Place(const XWindowAttributes& root, const Orvex::CPlane32& plane, int32_t dx,
                int32_t dy) {
  const int32_t w = plane.GetWidth();
  const int32_t h = plane.GetHeight();
  Placement place{};
  place.src_x = std::max(0, -dx);
  place.src_y = std::max(0, -dy);
  place.dst_x = std::max(0, dx);
  place.dst_y = std::max(0, dy);
  place.width = std::min(w - place.src_x, root.width - place.dst_x);
  place.height = std::min(h - place.src_y, root.height - place.dst_y);
  // Entirely off the screen: nothing to draw.
  place.width = std::max(0, place.width);
  place.height = std::max(0, place.height);
  return place;
}

Placement Centre(const XWindowAttributes& root, const Orvex::CPlane32& plane) {
  return Place(root, plane, (root.width - plane.GetWidth()) / 2,
               (root.height - plane.GetHeight()) / 2);
}

// Rows of the picture sent in one request of about the given size.
int32_t BandRows(const X11PixelFormat& format, const Placement& place, size_t band_bytes) {
  const size_t row_bytes =
      static_cast<size_t>(place.width) * static_cast<size_t>(format.BytesPerPixel());
  return static_cast<int32_t>(
      std::clamp<size_t>(band_bytes / row_bytes, 1, static_cast<size_t>(place.height)));
}

// Through the connection, a band at a time.
void PutThroughSocket(Display* display, const XWindowAttributes& root, const X11PixelFormat& format,
                      const Orvex::CPlane32& plane, const Placement& place, Pixmap pixmap, GC gc) {
  const int32_t band_rows = BandRows(format, place, kBandBytes);
  BandImage band(display, root, place.width, band_rows);
  Orvex::PlaneBitsLock bits(plane);
  for (int32_t top = 0; top < place.height; top += band_rows) {
    const int32_t rows = std::min(band_rows, place.height - top);
    for (int32_t y = 0; y < rows; ++y) {
      format.ConvertRow(bits.Row(place.src_y + top + y) + 4 * static_cast<size_t>(place.src_x),
                        place.width, band.Row(y));
    }
    XPutImage(display, pixmap, gc, band.Get(), 0, 0, place.dst_x, place.dst_y + top,
              static_cast<unsigned>(place.width), static_cast<unsigned>(rows));
  }
}

// The shared image holds two bands: the rows of one are converted straight
// into it, on every processor, while the server copies the other.
void PutThroughSharedMemory(Display* display, const X11PixelFormat& format,
                            const Orvex::CPlane32& plane, const Placement& place,
                            X11SharedImage& image, Pixmap pixmap, GC gc) {
  const int32_t band_rows = BandRows(format, place, kSharedBandBytes);
  Orvex::PlaneBitsLock bits(plane);
  int32_t slot = 0;
  for (int32_t top = 0; top < place.height; top += band_rows, slot ^= 1) {
    const int32_t rows = std::min(band_rows, place.height - top);
    const int32_t slot_top = slot * band_rows;
    Orvex::ParallelFor(
        [&](int32_t first, int32_t end) {
          for (int32_t y = first; y < end; ++y) {
            format.ConvertRow(
                bits.Row(place.src_y + top + y) + 4 * static_cast<size_t>(place.src_x), place.width,
                image.Row(slot_top + y));
          }
        },
        0, rows);
    // The server has read the band before this one, whose slot comes next.
    XSync(display, False);
    image.Put(pixmap, gc, slot_top, rows, place.dst_x, place.dst_y + top);
    XFlush(display);
  }
}

// Converts the plane, centred on black, into a shared image of the
// screen's size, on every processor.
void FillScreenImage(const XWindowAttributes& root, const X11PixelFormat& format,
                     const Orvex::CPlane32& plane, const Placement& place, X11SharedImage& image) {
  const auto bytes_per_pixel = static_cast<size_t>(format.BytesPerPixel());
  const std::vector<uint8_t> black_source(4 * static_cast<size_t>(root.width), 0);
  std::vector<uint8_t> black(bytes_per_pixel * static_cast<size_t>(root.width));
  format.ConvertRow(black_source.data(), root.width, black.data());
  const bool drawn = place.width > 0 && place.height > 0;
  const size_t left = bytes_per_pixel * static_cast<size_t>(place.dst_x);
  const size_t middle = bytes_per_pixel * static_cast<size_t>(std::max(0, place.width));
  Orvex::PlaneBitsLock bits(plane);
  Orvex::ParallelFor(
      [&](int32_t first, int32_t end) {
        for (int32_t y = first; y < end; ++y) {
          uint8_t* row = image.Row(y);
          if (!drawn || y < place.dst_y || y >= place.dst_y + place.height) {
            std::memcpy(row, black.data(), black.size());
            continue;
          }
          std::memcpy(row, black.data(), left);
          format.ConvertRow(
              bits.Row(place.src_y + y - place.dst_y) + 4 * static_cast<size_t>(place.src_x),
              place.width, row + left);
          std::memcpy(row + left + middle, black.data(), black.size() - left - middle);
        }
      },
      0, root.height);
}

// A pixmap of the screen's size in shared memory, the plane converted
// straight into it: the server neither makes nor fills a pixmap of its own.
// None when the server does not offer such pixmaps or cannot make this one.
// Our side of the segment (image) may go as soon as the pixmap exists.
Pixmap MakeSharedPixmap(Display* display, const XWindowAttributes& root,
                        const X11PixelFormat& format, const Orvex::CPlane32& plane,
                        const Placement& place, X11ErrorTrap& trap,
                        std::unique_ptr<X11SharedImage>& image) {
  if (!X11SharedImage::PixmapsOffered(display)) return None;
  image = X11SharedImage::Create(display, root.visual, root.depth, root.width, root.height,
                                 /*for_pixmap=*/true);
  if (!image) return None;
  FillScreenImage(root, format, plane, place, *image);
  const Pixmap pixmap = image->MakePixmap(DefaultRootWindow(display));
  if (trap.Clear()) return pixmap;
  image.reset();
  return None;
}

// Draws the plane centred on a black pixmap of the screen's size, through
// the shared image when there is one.
void DrawCentred(Display* display, const XWindowAttributes& root, const X11PixelFormat& format,
                 const Orvex::CPlane32& plane, const Placement& place, X11SharedImage* shared,
                 Pixmap pixmap, GC gc) {
  if (!place.CoversScreen(root)) {
    XSetForeground(display, gc, format.Pack(0));
    XFillRectangle(display, pixmap, gc, 0, 0, static_cast<unsigned>(root.width),
                   static_cast<unsigned>(root.height));
  }
  if (place.width <= 0 || place.height <= 0) return;
  if (shared) {
    PutThroughSharedMemory(display, format, plane, place, *shared, pixmap, gc);
  } else {
    PutThroughSocket(display, root, format, plane, place, pixmap, gc);
  }
}

}  // namespace

X11WallpaperPixmap DrawWallpaperPixmap(Display* display, const XWindowAttributes& root,
                                       const X11PixelFormat& format, const Orvex::CPlane32& plane,
                                       X11Transfer transfer, X11ErrorTrap& trap,
                                       std::optional<Orvex::PlaneRect> origin) {
  const Placement place =
      origin ? Place(root, plane, origin->left, origin->top) : Centre(root, plane);
  std::unique_ptr<X11SharedImage> shared;
  if (transfer == X11Transfer::kSharedPixmapWhereOffered) {
    const Pixmap pixmap = MakeSharedPixmap(display, root, format, plane, place, trap, shared);
    if (pixmap != None) {
      return {std::move(shared), X11Pixmap(display, pixmap),
              X11Transfer::kSharedPixmapWhereOffered};
    }
  }
  X11Transfer used = X11Transfer::kConnectionOnly;
  // Attached before the pixmap is asked for: the attach waits for the
  // server, which then need not finish making the pixmap first.
  if (transfer != X11Transfer::kConnectionOnly && place.width > 0 && place.height > 0) {
    shared = X11SharedImage::Create(
        display, root.visual, root.depth, place.width,
        std::min(place.height, 2 * BandRows(format, place, kSharedBandBytes)));
    if (shared) used = X11Transfer::kSharedMemoryWhereOffered;
  }
  X11Pixmap pixmap(
      display,
      XCreatePixmap(display, DefaultRootWindow(display), static_cast<unsigned>(root.width),
                    static_cast<unsigned>(root.height), static_cast<unsigned>(root.depth)));
  const X11Gc gc(display, XCreateGC(display, pixmap.Get(), 0, nullptr));
  // The server makes the pixmap while the rows are converted; a failure
  // shows at the check after drawing.
  XFlush(display);
  DrawCentred(display, root, format, plane, place, shared.get(), pixmap.Get(), gc.Get());
  trap.Check(kX11SetFailed);
  return {std::move(shared), std::move(pixmap), used};
}
