// pelmora-qt-decoder.so: the toolkit's image plug-ins behind the plain
// interface of qt_decoder_abi.h.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string_view>
#include <type_traits>

#include "codecs/linux/qt_decoder_abi.h"

namespace {

int FindFormat(const QByteArray& name) {
  const std::string_view view(name.constData(), static_cast<size_t>(name.size()));
  for (size_t i = 0; i < std::size(kQtDecoderFormats); ++i) {
    if (view == kQtDecoderFormats[i].qt_name) return static_cast<int>(i);
  }
  return -1;
}

bool WithinLimit(const QSize& size, int32_t limit_megabytes) {
  return size.width() > 0 && size.height() > 0 &&
         int64_t{size.width()} * size.height() * 4 <= int64_t{limit_megabytes} << 20;
}

int Decode(const unsigned char* data, size_t size, int32_t limit_megabytes,
           PelmoraDecodedImage* image) {
  const QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return 0;
  // Chosen by content only; the name plays no part, as with every loader.
  const int format = FindFormat(QImageReader::imageFormat(&buffer));
  if (format < 0) return 0;
  buffer.seek(0);
  QImageReader reader(&buffer, QByteArray(kQtDecoderFormats[format].qt_name));
  // Plug-ins that allocate through the toolkit refuse larger pictures
  // before decoding them; the check after it holds the others to it too.
  reader.setAllocationLimit(limit_megabytes);
  auto decoded = std::make_unique<QImage>();
  if (!reader.read(decoded.get()) || decoded->isNull()) return 0;
  if (!WithinLimit(decoded->size(), limit_megabytes)) return 0;
  const bool has_alpha = decoded->hasAlphaChannel();
  // Bytes B, G, R, A in memory on little-endian machines, as our planes;
  // converted in place where the depth allows (a 32-bit picture always) and
  // handed out without a copy.
  decoded->convertTo(QImage::Format_ARGB32);
  if (decoded->isNull() || decoded->format() != QImage::Format_ARGB32 ||
      decoded->bytesPerLine() != qsizetype{decoded->width()} * 4) {
    return 0;
  }
  image->width = decoded->width();
  image->height = decoded->height();
  image->has_alpha = has_alpha ? 1 : 0;
  image->pixels = decoded->bits();
  image->format = format;
  image->owner = decoded.release();
  return 1;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int pelmora_qt_decode(const unsigned char* data, size_t size,
                                                             int32_t limit_megabytes,
                                                             PelmoraDecodedImage* image) {
  if (!data || size == 0 || !image) return 0;
  try {
    return Decode(data, size, limit_megabytes, image);
  } catch (...) {
    return 0;
  }
}

__attribute__((visibility("default"))) void pelmora_qt_release(PelmoraDecodedImage* image) {
  if (!image) return;
  delete static_cast<QImage*>(image->owner);
  image->owner = nullptr;
  image->pixels = nullptr;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(pelmora_qt_decode), PelmoraQtDecode>);
static_assert(std::is_same_v<decltype(pelmora_qt_release), PelmoraQtRelease>);
