#pragma once

#include <cstdint>
#include <memory>

#include "codecs/image_loader.h"

namespace Orvex {

class CMemoryPlane32;

// Where the module is: by default beside the program, or where the
// package installs it for a program in the binaries' folder. Tests and
// tools built elsewhere name it here, before the first Open.
void SetQtDecoderModule(const SharedString& path);
// The default: in program_folder (which ends in a separator), or in the
// package's private folder as seen from there when it is there.
SharedString QtDecoderModulePath(const SharedString& program_folder);
// The most pixel memory a picture may take, at 4 bytes a pixel; 1024 MiB,
// as the built-in loaders, unless set here before the first Open. The
// fuzzer keeps it small, so that it tries decoders, not the allocator.
void SetQtDecoderAllocationLimit(int32_t megabytes);

// The system's decoders for what the built-in loaders do not read: GIF,
// ICO and CUR, WebP and TIFF, through the image plug-ins of the toolkit the
// desktop program is built on. Only these formats are taken, whatever else
// is installed; the file is decoded whole in Open.
//
// The toolkit is reached through the module pelmora-qt-decoder.so, loaded
// the first time a file with one of the formats' signatures comes: it
// brings the toolkit's GUI libraries, which take longer to load than a
// whole change of a small picture. Without the module these formats are
// not read.
class CQtImageLoader : public IImageLoader {
 public:
  CQtImageLoader();
  ~CQtImageLoader() override;

  bool Open(const std::shared_ptr<CFileData>& source) override;
  PlaneSize GetImageSize() override;
  void Load(CPlane& plane, int32_t x, int32_t y) override;
  bool HasAlpha() override { return has_alpha_; }
  SharedString GetFormatName() override { return format_name_; }
  SharedString GetFilter() override { return u"*.gif;*.ico;*.cur;*.webp;*.tif;*.tiff"; }

 private:
  std::unique_ptr<CMemoryPlane32> image_;
  bool has_alpha_ = false;
  SharedString format_name_;
};

}  // namespace Orvex
