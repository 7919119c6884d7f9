#include "codecs/linux/qt_image_loader.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <cstring>
#include <string_view>

#include "foundation/exceptions.h"
#include "foundation/files.h"
#include "imaging/plane32.h"

namespace Orvex {

namespace {

struct Format {
  std::string_view qt_name;
  const char16_t* display_name;
};

// The formats we let through. Each is recognised by its own signature, and
// the others the toolkit may offer either duplicate the built-in loaders or
// are old formats guessed from weak signatures that we have no use for.
constexpr Format kFormats[] = {
    {"gif", u"GIF"},   {"ico", u"ICO"},  {"cur", u"ICO"},
    {"webp", u"WebP"}, {"tif", u"TIFF"}, {"tiff", u"TIFF"},
};

// The same ceiling on pixel memory as the built-in decoders keep.
constexpr int kAllocationLimitMegabytes = 1024;

const Format* FindFormat(const QByteArray& name) {
  const std::string_view view(name.constData(), static_cast<size_t>(name.size()));
  for (const Format& format : kFormats) {
    if (format.qt_name == view) return &format;
  }
  return nullptr;
}

}  // namespace

CQtImageLoader::CQtImageLoader() = default;
CQtImageLoader::~CQtImageLoader() = default;

bool CQtImageLoader::Open(const std::shared_ptr<CFileData>& source) {
  image_.reset();
  if (!source || source->GetSize() == 0) return false;
  const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(source->GetData()),
                                                   static_cast<qsizetype>(source->GetSize()));
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return false;

  // Chosen by content only; the name plays no part, as with every loader.
  const Format* format = FindFormat(QImageReader::imageFormat(&buffer));
  if (!format) return false;
  buffer.seek(0);
  QImageReader reader(&buffer, QByteArray(format->qt_name.data(), format->qt_name.size()));
  reader.setAllocationLimit(kAllocationLimitMegabytes);
  QImage decoded;
  if (!reader.read(&decoded) || decoded.isNull()) return false;
  // Bytes B, G, R, A in memory on little-endian machines, as our planes.
  const QImage argb = decoded.convertToFormat(QImage::Format_ARGB32);
  if (argb.isNull()) return false;

  auto image = std::make_unique<CMemoryPlane32>();
  image->SetSize(PlaneSize{argb.width(), argb.height()});
  {
    PlaneBitsLock lock(*image);
    const size_t row_bytes = static_cast<size_t>(argb.width()) * 4;
    for (int32_t y = 0; y < argb.height(); ++y) {
      std::memcpy(lock.Row(y), argb.constScanLine(y), row_bytes);
    }
  }
  has_alpha_ = decoded.hasAlphaChannel();
  format_name_ = format->display_name;
  image_ = std::move(image);
  return true;
}

PlaneSize CQtImageLoader::GetImageSize() { return image_ ? image_->GetSize() : PlaneSize{0, 0}; }

void CQtImageLoader::Load(CPlane& plane, int32_t x, int32_t y) {
  if (!image_) throw ImageLoadException(u"画像の読み込みに失敗しました");
  plane.Copy(*image_, x, y, image_->GetBounds(), PlaneClip{});
}

}  // namespace Orvex
