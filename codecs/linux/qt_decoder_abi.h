#pragma once

// The plain C interface of pelmora-qt-decoder.so, the module that decodes
// through the toolkit's image plug-ins. It is loaded the first time a file
// needs it, so that a start which never meets such a file never loads the
// toolkit's GUI libraries. Nothing of C++ crosses it: the module holds no
// copy of our code, and no exception leaves it.

#include <cstddef>
#include <cstdint>

extern "C" {

struct PelmoraDecodedImage {
  int32_t width;
  int32_t height;
  // Non-zero when the picture has an alpha channel.
  int32_t has_alpha;
  // Rows of width * 4 bytes, B, G, R, A, one after another; owned by the
  // module until pelmora_qt_release.
  unsigned char* pixels;
  // The index of the format in kQtDecoderFormats.
  int32_t format;
  // The module's own, for pelmora_qt_release.
  void* owner;
};

// 1 and *image filled when the bytes are a picture of one of the formats
// and decode; 0 otherwise, with nothing to release. Pictures whose pixels
// would take more than limit_megabytes at 4 bytes each are refused.
typedef int PelmoraQtDecode(const unsigned char* data, size_t size, int32_t limit_megabytes,
                            PelmoraDecodedImage* image);
// Frees the pixels of an image pelmora_qt_decode filled.
typedef void PelmoraQtRelease(PelmoraDecodedImage* image);

}  // extern "C"

inline constexpr char kQtDecoderModule[] = "pelmora-qt-decoder.so";
inline constexpr char kQtDecodeEntry[] = "pelmora_qt_decode";
inline constexpr char kQtReleaseEntry[] = "pelmora_qt_release";

struct QtDecoderFormat {
  const char* qt_name;
  const char16_t* display_name;
};

// The formats we let through. Each is recognised by its own signature, and
// the others the toolkit may offer either duplicate the built-in loaders or
// are old formats guessed from weak signatures that we have no use for.
inline constexpr QtDecoderFormat kQtDecoderFormats[] = {
    {"gif", u"GIF"},   {"ico", u"ICO"},  {"cur", u"ICO"},
    {"webp", u"WebP"}, {"tif", u"TIFF"}, {"tiff", u"TIFF"},
};
