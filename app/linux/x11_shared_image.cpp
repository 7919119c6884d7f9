#include "app/linux/x11_shared_image.h"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

namespace {

// The server reports a segment it cannot attach as a protocol error; this
// handler keeps that from ending the process while the attach is probed.
bool attach_failed = false;

int RecordAttachFailure(Display*, XErrorEvent*) {
  attach_failed = true;
  return 0;
}

// Only a server on a local socket can be on this machine. Over TCP the
// segment's number could name another segment on the server's machine.
bool IsLocal(Display* display) {
  sockaddr_storage address{};
  socklen_t length = sizeof(address);
  return getsockname(ConnectionNumber(display), reinterpret_cast<sockaddr*>(&address), &length) ==
             0 &&
         address.ss_family == AF_UNIX;
}

}  // namespace

std::unique_ptr<X11SharedImage> X11SharedImage::Create(Display* display, Visual* visual, int depth,
                                                       int32_t width, int32_t height,
                                                       bool for_pixmap) {
  if (width <= 0 || height <= 0 || !IsLocal(display) || !XShmQueryExtension(display)) {
    return nullptr;
  }
  std::unique_ptr<X11SharedImage> shared(new X11SharedImage(display));
  // The image keeps a pointer to the segment's description: it must live
  // as long as the image does.
  XShmSegmentInfo& segment = shared->segment_;
  shared->image_ =
      XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &segment,
                      static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (!shared->image_) return nullptr;
  const size_t bytes =
      static_cast<size_t>(shared->image_->bytes_per_line) * static_cast<size_t>(height);
  segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (segment.shmid < 0) return nullptr;
  void* address = shmat(segment.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(segment.shmid, IPC_RMID, nullptr);
    return nullptr;
  }
  segment.shmaddr = shared->image_->data = static_cast<char*>(address);
  segment.readOnly = for_pixmap ? False : True;

  XSync(display, False);
  attach_failed = false;
  const XErrorHandler previous = XSetErrorHandler(&RecordAttachFailure);
  const bool sent = XShmAttach(display, &segment);
  XSync(display, False);
  XSetErrorHandler(previous);
  // Once the server holds it (or has failed to), the segment needs no name.
  shmctl(segment.shmid, IPC_RMID, nullptr);
  if (!sent || attach_failed) return nullptr;
  shared->attached_ = true;
  return shared;
}

bool X11SharedImage::PixmapsOffered(Display* display) {
  int major = 0;
  int minor = 0;
  Bool pixmaps = False;
  return IsLocal(display) && XShmQueryVersion(display, &major, &minor, &pixmaps) && pixmaps &&
         XShmPixmapFormat(display) == ZPixmap;
}

X11SharedImage::~X11SharedImage() {
  Detach();
  if (segment_.shmaddr) shmdt(segment_.shmaddr);
  if (image_) {
    image_->data = nullptr;
    XDestroyImage(image_);
  }
}

void X11SharedImage::Put(Drawable drawable, GC gc, int32_t top, int32_t rows, int32_t x,
                         int32_t y) {
  XShmPutImage(display_, drawable, gc, image_, 0, top, x, y, static_cast<unsigned>(image_->width),
               static_cast<unsigned>(rows), False);
}

Pixmap X11SharedImage::MakePixmap(Drawable root) {
  return XShmCreatePixmap(
      display_, root, image_->data, &segment_, static_cast<unsigned>(image_->width),
      static_cast<unsigned>(image_->height), static_cast<unsigned>(image_->depth));
}

void X11SharedImage::Detach() {
  // Our side may let go at once: the server keeps its own mapping of the
  // segment until it handles the detach.
  if (!attached_) return;
  attached_ = false;
  XShmDetach(display_, &segment_);
  XFlush(display_);
}
