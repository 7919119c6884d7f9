#include "app/linux/x11_desktop.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "app/linux/x11_pixel_format.h"
#include "codecs/bmp_loader.h"
#include "foundation/encoding.h"
#include "foundation/error_reporting.h"
#include "foundation/files.h"
#include "foundation/parallel_for.h"
#include "imaging/plane32.h"

// Last: Xlib defines macros (None, True, Status, ...) that our headers must
// not see.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/linux/x11_root_property.h"
#include "app/linux/x11_shared_image.h"

using Orvex::SharedString;

namespace {

constexpr char16_t kSetFailed[] = u"壁紙の設定に失敗";
// Pixels sent to the server per request: large enough to keep the number
// of requests small, small enough to keep the band buffer modest.
constexpr size_t kBandBytes = 4 << 20;
// A band of shared memory: the server copies one while the next is
// converted, so two small ones keep both sides busy, and their pages are
// mapped once and reused.
constexpr size_t kSharedBandBytes = 1 << 20;

SharedString Widen(const char* text) { return Orvex::GetDefaultEncoding().ToWide(text); }

[[noreturn]] void ThrowNoDisplay(const char* name) {
  const char* shown = XDisplayName(name);
  if (!shown || !*shown) {
    throw DesktopUnavailableException(
        SharedString(u"ディスプレイに接続できません : DISPLAY が設定されていません"));
  }
  throw DesktopUnavailableException(u"ディスプレイに接続できません : " + Widen(shown));
}

X11Display Connect(const char* name) {
  X11Display display(XOpenDisplay(name));
  if (!display) ThrowNoDisplay(name);
  return display;
}

X11Display Connect(const std::optional<std::string>& name) {
  return Connect(name ? name->c_str() : nullptr);
}

// Xlib hands protocol errors to one process-wide handler whose default ends
// the process. While a trap is set, the first error is kept instead and
// turned into an exception by Check. Only one thread talks to the server.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    error_ = {};
    previous_ = XSetErrorHandler(&Record);
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }

  // Waits until the server has handled every request so far; throws when
  // one of them failed.
  void Check(const char16_t* what) {
    XSync(display_, False);
    if (error_.error_code == 0) return;
    char text[256] = {};
    XGetErrorText(display_, error_.error_code, text, sizeof(text) - 1);
    error_ = {};
    throw Orvex::RuntimeException(SharedString(what) + u" : " + Widen(text));
  }

  // Like Check, but for requests whose failure is expected and harmless.
  bool Clear() {
    XSync(display_, False);
    const bool failed = error_.error_code != 0;
    error_ = {};
    return !failed;
  }

 private:
  static int Record(Display*, XErrorEvent* event) {
    if (error_.error_code == 0) error_ = *event;
    return 0;
  }

  static inline XErrorEvent error_{};
  Display* display_;
  XErrorHandler previous_;
};

// The pixel layout of images for the root window's visual.
X11PixelFormat RootPixelFormat(Display* display, const XWindowAttributes& root) {
  const Visual* visual = root.visual;
  if (!visual || visual->c_class != TrueColor) {
    throw DesktopUnavailableException(SharedString::Format(
        u"画面の色形式 (深さ %d) には対応していません : TrueColor ではありません", root.depth));
  }
  int count = 0;
  int bits_per_pixel = 0;
  if (XPixmapFormatValues* formats = XListPixmapFormats(display, &count)) {
    for (int i = 0; i < count; ++i) {
      if (formats[i].depth == root.depth) bits_per_pixel = formats[i].bits_per_pixel;
    }
    XFree(formats);
  }
  try {
    return X11PixelFormat(static_cast<uint32_t>(visual->red_mask),
                          static_cast<uint32_t>(visual->green_mask),
                          static_cast<uint32_t>(visual->blue_mask), root.depth, bits_per_pixel,
                          ImageByteOrder(display) == MSBFirst);
  } catch (const std::exception& e) {
    throw DesktopUnavailableException(Widen(e.what()));
  }
}

XWindowAttributes RootAttributes(Display* display) {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, DefaultRootWindow(display), &attributes)) {
    throw Orvex::RuntimeException(u"ルートウィンドウの情報を取得できません");
  }
  return attributes;
}

// By convention, a program that sets both root properties to one pixmap
// and keeps it alive past its own exit expects whoever replaces the
// wallpaper to free it by ending that program's (retained) connection.
// Anything else is left alone: the pixmap belongs to a running program.
void FreeRetainedWallpaper(Display* display, Window root, Pixmap keep, ErrorTrap& trap) {
  const std::optional<Pixmap> published = ReadPixmapProperty(display, root, "_XROOTPMAP_ID");
  const std::optional<Pixmap> esetroot = ReadPixmapProperty(display, root, "ESETROOT_PMAP_ID");
  if (!published || !esetroot || *published != *esetroot || *published == None ||
      *published == keep) {
    return;
  }
  // A pixmap whose owner is gone is gone too, and its identifier may by now
  // lie in the range of this very connection: killing that would end us.
  Window geometry_root = None;
  int x = 0;
  int y = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned border = 0;
  unsigned depth = 0;
  const Status alive =
      XGetGeometry(display, *published, &geometry_root, &x, &y, &width, &height, &border, &depth);
  if (!trap.Clear() || !alive) return;
  XKillClient(display, *published);
  trap.Clear();
}

void PublishPixmap(Display* display, Window root, Pixmap pixmap) {
  const unsigned long value = pixmap;
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    XChangeProperty(display, root, XInternAtom(display, name, False), XA_PIXMAP, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&value), 1);
  }
}

// An image over a band buffer of ours; Xlib must not free the buffer.
class BandImage {
 public:
  BandImage(Display* display, const XWindowAttributes& root, int32_t width, int32_t rows) {
    image_ =
        XCreateImage(display, root.visual, static_cast<unsigned>(root.depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(width), static_cast<unsigned>(rows), 32, 0);
    if (!image_) throw Orvex::RuntimeException(SharedString(kSetFailed) + u" : XCreateImage");
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

// The visible part of a plane centred on the screen.
struct Placement {
  int32_t src_x, src_y, dst_x, dst_y, width, height;

  bool CoversScreen(const XWindowAttributes& root) const {
    return width >= root.width && height >= root.height;
  }
};

Placement Centre(const XWindowAttributes& root, const Orvex::CPlane32& plane) {
  const int32_t w = plane.GetWidth();
  const int32_t h = plane.GetHeight();
  const int32_t dx = (root.width - w) / 2;
  const int32_t dy = (root.height - h) / 2;
  Placement place{};
  place.src_x = std::max(0, -dx);
  place.src_y = std::max(0, -dy);
  place.dst_x = std::max(0, dx);
  place.dst_y = std::max(0, dy);
  place.width = std::min(w - place.src_x, root.width - place.dst_x);
  place.height = std::min(h - place.src_y, root.height - place.dst_y);
  return place;
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
                        const Placement& place, ErrorTrap& trap,
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

void ReadBitmap(const SharedString& path, Orvex::CPlane32& plane) {
  const auto data = std::make_shared<Orvex::CFileData>(path);
  Orvex::CBmpLoader loader;
  if (!loader.Open(data)) {
    throw Orvex::ImageLoadException(SharedString(kSetFailed) + u" : '" + path +
                                    u"' はビットマップではありません");
  }
  plane.SetSize(loader.GetImageSize());
  loader.Load(plane, 0, 0);
}

}  // namespace

void X11DisplayCloser::operator()(_XDisplay* display) const { XCloseDisplay(display); }

X11Desktop::X11Desktop(const char* display_name, X11Transfer transfer)
    : display_(Connect(display_name)), transfer_(transfer) {
  if (display_name) display_name_ = display_name;
  RootPixelFormat(display_.get(), RootAttributes(display_.get()));
}

X11Desktop::~X11Desktop() = default;

void X11Desktop::SetWallpaper(const SharedString& path, const Orvex::CPlane32* pixels) {
  Orvex::CDib32 read_back;
  if (!pixels) {
    ReadBitmap(path, read_back);
    pixels = &read_back;
  }
  const Orvex::CPlane32& plane = *pixels;

  // Each wallpaper gets a connection of its own that is retained when it
  // closes: the pixmap then stays after this program ends, and the next
  // change frees exactly it by ending that connection.
  const X11Display connection = Connect(display_name_);
  Display* display = connection.get();
  ErrorTrap trap(display);
  const Window root = DefaultRootWindow(display);
  const XWindowAttributes attributes = RootAttributes(display);
  const X11PixelFormat format = RootPixelFormat(display, attributes);

  const Placement place = Centre(attributes, plane);
  std::unique_ptr<X11SharedImage> shared;
  Pixmap pixmap = None;
  last_transfer_ = X11Transfer::kConnectionOnly;
  if (transfer_ == X11Transfer::kSharedPixmapWhereOffered) {
    pixmap = MakeSharedPixmap(display, attributes, format, plane, place, trap, shared);
    if (pixmap != None) last_transfer_ = X11Transfer::kSharedPixmapWhereOffered;
  }
  if (pixmap == None) {
    // Attached before the pixmap is asked for: the attach waits for the
    // server, which then need not finish making the pixmap first.
    if (transfer_ != X11Transfer::kConnectionOnly && place.width > 0 && place.height > 0) {
      shared = X11SharedImage::Create(
          display, attributes.visual, attributes.depth, place.width,
          std::min(place.height, 2 * BandRows(format, place, kSharedBandBytes)));
      if (shared) last_transfer_ = X11Transfer::kSharedMemoryWhereOffered;
    }
    pixmap = XCreatePixmap(display, root, static_cast<unsigned>(attributes.width),
                           static_cast<unsigned>(attributes.height),
                           static_cast<unsigned>(attributes.depth));
    GC gc = XCreateGC(display, pixmap, 0, nullptr);
    // The server makes the pixmap while the rows are converted; a failure
    // shows at the check after drawing.
    XFlush(display);
    try {
      DrawCentred(display, attributes, format, plane, place, shared.get(), pixmap, gc);
      trap.Check(kSetFailed);
    } catch (...) {
      XFreeGC(display, gc);
      XFreePixmap(display, pixmap);
      throw;
    }
    XFreeGC(display, gc);
  }

  FreeRetainedWallpaper(display, root, pixmap, trap);
  PublishPixmap(display, root, pixmap);
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
  // The server paints the screen while our mapping of the segment goes.
  XFlush(display);
  shared.reset();
  try {
    trap.Check(kSetFailed);
  } catch (...) {
    XFreePixmap(display, pixmap);
    throw;
  }
  XSetCloseDownMode(display, RetainPermanent);
  trap.Check(kSetFailed);
}

void X11Desktop::RemoveWallpaper() {
  const X11Display connection = Connect(display_name_);
  Display* display = connection.get();
  ErrorTrap trap(display);
  const Window root = DefaultRootWindow(display);
  FreeRetainedWallpaper(display, root, None, trap);
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom != None) XDeleteProperty(display, root, atom);
  }
  XSetWindowBackground(display, root, BlackPixel(display, DefaultScreen(display)));
  XClearWindow(display, root);
  trap.Check(kSetFailed);
}

std::optional<Orvex::PlaneSize> X11Desktop::GetScreenSize() {
  // Asked afresh each time: the size cached at connection time goes stale
  // when the screen is resized.
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_.get(), DefaultRootWindow(display_.get()), &attributes) ||
      attributes.width <= 0 || attributes.height <= 0) {
    return std::nullopt;
  }
  return Orvex::PlaneSize{attributes.width, attributes.height};
}

void X11Desktop::ShowError(const SharedString& caption, const SharedString& text) {
  Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, caption, text);
}
