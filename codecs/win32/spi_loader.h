#pragma once

#include <cstdint>
#include <memory>

#include "codecs/image_loader.h"
#include "codecs/win32/spi_interface.h"

namespace Orvex {

class CSpi;

// Offers a file to each import plug-in of the set in turn; the first that
// claims and decodes it delivers a device-independent bitmap, which Load
// draws. What a plug-in delivers is checked against the memory it came in
// before the file is accepted. A plug-in that refuses, fails or faults
// costs only its own turn.
class CSpiLoader : public IImageLoader {
 public:
  explicit CSpiLoader(std::shared_ptr<CSpi> plugins);
  ~CSpiLoader() override;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  PlaneSize GetImageSize() override;
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  // Known only once Load has seen the bitmap: true for 32 bits per pixel.
  bool HasAlpha() override { return alpha_state_ == 2; }
  SharedString GetFormatName() override;
  // The file patterns of every import plug-in, separated by ';'.
  SharedString GetFilter() override;

 private:
  bool TryPlugin(size_t index, const std::shared_ptr<CFileData>& source, const char* probe,
                 const char* name);
  bool DeliveredBitmapFits() const;
  void FreeHandles();

  std::shared_ptr<CSpi> plugins_;
  void* bits_handle_ = nullptr;
  void* info_handle_ = nullptr;
  Spi::PictureInfo picture_info_{};
  SharedString format_name_;
  int32_t alpha_state_ = 0;
};

// Makes loaders that share one plug-in set, loaded when the factory is made.
class CSpiLoaderFactory : public IFactory<IImageLoader> {
 public:
  explicit CSpiLoaderFactory(const SharedString& folder);

  std::shared_ptr<IImageLoader> CreateInstance() override;
  const std::shared_ptr<CSpi>& Plugins() const { return plugins_; }

 private:
  std::shared_ptr<CSpi> plugins_;
};

}  // namespace Orvex
