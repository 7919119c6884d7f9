#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>
#include <memory>

// A Z-format image in a System V shared memory segment that the X server
// has attached as well, so that putting it costs the server one copy and
// the connection nothing. The segment is marked for removal as soon as
// both sides hold it: if either process dies, nothing is left behind.
class X11SharedImage {
 public:
  // The image, or null where it cannot be had: the connection is not a
  // local socket, the server lacks the extension or refuses to attach the
  // segment, or the segment cannot be made. The attach is probed with a
  // round trip under an error handler of its own; the caller's is put back.
  // for_pixmap: the server may write to it (MakePixmap).
  static std::unique_ptr<X11SharedImage> Create(Display* display, Visual* visual, int depth,
                                                int32_t width, int32_t height,
                                                bool for_pixmap = false);
  // Whether the server can make pixmaps of such images (MakePixmap).
  static bool PixmapsOffered(Display* display);
  X11SharedImage(const X11SharedImage&) = delete;
  X11SharedImage& operator=(const X11SharedImage&) = delete;
  ~X11SharedImage();

  int32_t Width() const { return image_->width; }
  int32_t Height() const { return image_->height; }
  ptrdiff_t BytesPerLine() const { return image_->bytes_per_line; }
  uint8_t* Row(int32_t y) const {
    return reinterpret_cast<uint8_t*>(image_->data) +
           static_cast<size_t>(image_->bytes_per_line) * static_cast<size_t>(y);
  }

  // Queues the copy of rows [top, top + rows) to (x, y + ...) of the
  // drawable. The rows must not change until the server has handled the
  // request (XSync).
  void Put(Drawable drawable, GC gc, int32_t top, int32_t rows, int32_t x, int32_t y);

  // A pixmap of the image's size whose pixels are the image's memory. It
  // keeps the server's hold on the segment, also after this object and
  // this process are gone, until the pixmap is freed.
  Pixmap MakePixmap(Drawable root);

  // Lets the server go of the segment now, while the connection is still
  // open; our own mapping stays until this object goes.
  void Detach();

 private:
  explicit X11SharedImage(Display* display) : display_(display) {}

  Display* display_;
  XImage* image_ = nullptr;
  XShmSegmentInfo segment_{};
  bool attached_ = false;
};
