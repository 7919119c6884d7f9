#include "app/linux/x11_desktop.h"

#include <memory>

#include "app/linux/x11_pixel_format.h"
#include "codecs/bmp_loader.h"
#include "foundation/encoding.h"
#include "foundation/error_reporting.h"
#include "foundation/files.h"
#include "imaging/plane32.h"

// Last: Xlib defines macros (None, True, Status, ...) that our headers must
// not see.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "app/linux/x11_error_trap.h"
#include "app/linux/x11_monitors.h"
#include "app/linux/x11_pixel_transfer.h"
#include "app/linux/x11_root_property.h"
#include "app/linux/x11_shared_image.h"
#include "app/linux/x11_shared_plane.h"

using Orvex::SharedString;

namespace {

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
void FreeRetainedWallpaper(Display* display, Window root, Pixmap keep, X11ErrorTrap& trap) {
  const std::optional<Pixmap> published = ReadPixmapProperty(display, root, "_XROOTPMAP_ID");
  const std::optional<Pixmap> esetroot = ReadPixmapProperty(display, root, "ESETROOT_PMAP_ID");
  if (!published || !esetroot || *published != *esetroot || *published == None ||
      *published == keep) {
    return;
  }
  // A pixmap whose owner is gone is gone too, and its identifier may by now
  // lie in the range of this very connection: killing that would end us.
  const bool alive = PixmapExists(display, *published);
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

void ReadBitmap(const SharedString& path, Orvex::CPlane32& plane) {
  const auto data = std::make_shared<Orvex::CFileData>(path);
  Orvex::CBmpLoader loader;
  if (!loader.Open(data)) {
    throw Orvex::ImageLoadException(SharedString(kX11SetFailed) + u" : '" + path +
                                    u"' はビットマップではありません");
  }
  plane.SetSize(loader.GetImageSize());
  loader.Load(plane, 0, 0);
}

// Makes the pixmap the root window's background and the published
// wallpaper, and hands it to the connection, which is retained when it
// closes. shared: our side of the memory the pixels came through, let go
// while the server paints.
void ShowPixmap(Display* display, X11Pixmap& wallpaper, X11SharedImage* shared,
                X11ErrorTrap& trap) {
  const Window root = DefaultRootWindow(display);
  const Pixmap pixmap = wallpaper.Get();
  FreeRetainedWallpaper(display, root, pixmap, trap);
  PublishPixmap(display, root, pixmap);
  XSetWindowBackgroundPixmap(display, root, pixmap);
  XClearWindow(display, root);
  // The server paints the screen while our hold on the segment goes.
  XFlush(display);
  if (shared) shared->Detach();
  trap.Check(kX11SetFailed);
  // From here on the pixmap belongs to the retained connection.
  wallpaper.Release();
  XSetCloseDownMode(display, RetainPermanent);
  trap.Check(kX11SetFailed);
}

}  // namespace

struct X11Desktop::Offer {
  X11Display connection;
  std::shared_ptr<X11SharedImage> image;
  const Orvex::CPlane32* plane = nullptr;

  Offer(X11Display owned, std::shared_ptr<X11SharedImage> shared)
      : connection(std::move(owned)), image(std::move(shared)) {}
  Offer(const Offer&) = delete;
  Offer& operator=(const Offer&) = delete;
  // Goes with the plane, whether it was shown or not: the server lets go
  // of the segment while the connection is still open; our mapping goes
  // with the plane's storage.
  ~Offer() { image->Detach(); }
};

void X11DisplayCloser::operator()(_XDisplay* display) const { XCloseDisplay(display); }

X11Desktop::X11Desktop(const char* display_name, X11Transfer transfer)
    : display_(Connect(display_name)), transfer_(transfer) {
  if (display_name) display_name_ = display_name;
  RootPixelFormat(display_.get(), RootAttributes(display_.get()));
}

X11Desktop::~X11Desktop() = default;

std::unique_ptr<Orvex::CPlane32> X11Desktop::OfferWallpaperPlane(const Orvex::PlaneSize& size) {
  offer_.reset();
  if (transfer_ != X11Transfer::kSharedPixmapWhereOffered || size.width <= 0 || size.height <= 0) {
    return nullptr;
  }
  try {
    X11Display connection = Connect(display_name_);
    Display* display = connection.get();
    const XWindowAttributes attributes = RootAttributes(display);
    if (attributes.width != size.width || attributes.height != size.height ||
        !RootPixelFormat(display, attributes).TakesPlaneRows() ||
        !X11SharedImage::PixmapsOffered(display)) {
      return nullptr;
    }
    std::shared_ptr<X11SharedImage> image = X11SharedImage::Create(
        display, attributes.visual, attributes.depth, size.width, size.height, /*for_pixmap=*/true);
    if (!image) return nullptr;
    auto offer = std::make_shared<Offer>(std::move(connection), image);
    auto plane = std::make_unique<X11SharedPlane>(std::move(image), offer);
    offer->plane = plane.get();
    offer_ = offer;
    return plane;
  } catch (const std::exception&) {
    // The change draws into a plane of its own and meets the trouble, if
    // it lasts, when it sets the wallpaper.
    return nullptr;
  }
}

bool X11Desktop::PutOffered(Offer& offer, const std::optional<Orvex::PlaneRect>& origin) {
  Display* display = offer.connection.get();
  X11ErrorTrap trap(display);
  const XWindowAttributes attributes = RootAttributes(display);
  X11SharedImage& image = *offer.image;
  const bool covers = offer.plane->GetWidth() == image.Width() &&
                      offer.plane->GetHeight() == image.Height() &&
                      attributes.width == image.Width() && attributes.height == image.Height() &&
                      (!origin || (origin->left == 0 && origin->top == 0));
  if (!covers) return false;
  X11Pixmap wallpaper(display, image.MakePixmap(DefaultRootWindow(display)));
  if (!trap.Clear()) {
    wallpaper.Release();
    return false;
  }
  last_transfer_ = X11Transfer::kSharedPixmapWhereOffered;
  ShowPixmap(display, wallpaper, &image, trap);
  return true;
}

void X11Desktop::SetWallpaper(const SharedString& path, const Orvex::CPlane32* pixels) {
  Put(path, pixels, std::nullopt);
}

void X11Desktop::SetComposedWallpaper(const ComposedWallpaper& wallpaper) {
  Put(wallpaper.path, wallpaper.pixels, wallpaper.box);
}

void X11Desktop::Put(const SharedString& path, const Orvex::CPlane32* pixels,
                     const std::optional<Orvex::PlaneRect>& origin) {
  // Taken whatever happens: an offer serves one wallpaper.
  const std::shared_ptr<Offer> offer = offer_.lock();
  offer_.reset();
  if (offer && pixels == offer->plane && PutOffered(*offer, origin)) return;

  Orvex::CDib32 read_back;
  if (!pixels) {
    ReadBitmap(path, read_back);
    pixels = &read_back;
  }

  // Each wallpaper gets a connection of its own that is retained when it
  // closes: the pixmap then stays after this program ends, and the next
  // change frees exactly it by ending that connection.
  const X11Display connection = Connect(display_name_);
  Display* display = connection.get();
  X11ErrorTrap trap(display);
  const XWindowAttributes attributes = RootAttributes(display);
  X11WallpaperPixmap wallpaper = DrawWallpaperPixmap(
      display, attributes, RootPixelFormat(display, attributes), *pixels, transfer_, trap, origin);
  last_transfer_ = wallpaper.transfer;
  ShowPixmap(display, wallpaper.pixmap, wallpaper.shared.get(), trap);
}

void X11Desktop::RemoveWallpaper() {
  const X11Display connection = Connect(display_name_);
  Display* display = connection.get();
  X11ErrorTrap trap(display);
  const Window root = DefaultRootWindow(display);
  FreeRetainedWallpaper(display, root, None, trap);
  for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom != None) XDeleteProperty(display, root, atom);
  }
  XSetWindowBackground(display, root, BlackPixel(display, DefaultScreen(display)));
  XClearWindow(display, root);
  trap.Check(kX11SetFailed);
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

MonitorList X11Desktop::GetMonitors() {
  MonitorList monitors = ReadRandrMonitors(display_.get());
  if (monitors.empty()) return IDesktop::GetMonitors();
  return monitors;
}

void X11Desktop::ShowError(const SharedString& caption, const SharedString& text) {
  Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, caption, text);
}
