// pelmora-qt-decoder.so: the toolkit's image plug-ins behind the plain
// interface of qt_decoder_abi.h.

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstdlib>
#include <cstring>
#include <iterator>
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
  reader.setAllocationLimit(limit_megabytes);
  QImage decoded;
  if (!reader.read(&decoded) || decoded.isNull()) return 0;
  // Bytes B, G, R, A in memory on little-endian machines, as our planes.
  const QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return 0;
  const size_t row_bytes = static_cast<size_t>(argb.width()) * 4;
  auto* pixels = static_cast<unsigned char*>(std::malloc(row_bytes * argb.height()));
  if (!pixels) return 0;
  for (int y = 0; y < argb.height(); ++y) {
    std::memcpy(pixels + row_bytes * y, argb.constScanLine(y), row_bytes);
  }
  image->width = argb.width();
  image->height = argb.height();
  image->has_alpha = decoded.hasAlphaChannel() ? 1 : 0;
  image->pixels = pixels;
  image->format = format;
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
  std::free(image->pixels);
  image->pixels = nullptr;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(pelmora_qt_decode), PelmoraQtDecode>);
static_assert(std::is_same_v<decltype(pelmora_qt_release), PelmoraQtRelease>);
