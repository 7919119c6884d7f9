#pragma once

#include <cstdint>

// The four functions a Susie import plug-in exports, and the record it
// fills for GetPictureInfo. Texts are in the system's ANSI code page; the
// handles are local-memory handles that the caller frees.

namespace Orvex::Spi {

#if defined(__i386__)
#define ORVEX_SPI_CALL __attribute__((stdcall))
#else
#define ORVEX_SPI_CALL
#endif

#pragma pack(push, 1)
struct PictureInfo {
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  uint16_t x_density;
  uint16_t y_density;
  int16_t color_depth;
  void* text;  // 4 bytes in the 32-bit interface the record is defined for
};
#pragma pack(pop)
#if defined(__i386__)
static_assert(sizeof(PictureInfo) == 26);
#endif

using ProgressCallback = int ORVEX_SPI_CALL (*)(int done, int total, long data);

using GetPluginInfoFn = int ORVEX_SPI_CALL(int info_number, char* buffer, int buffer_length);
using IsSupportedFn = int ORVEX_SPI_CALL(const char* file_name, uintptr_t buffer);
using GetPictureInfoFn = int ORVEX_SPI_CALL(const char* data, long length, unsigned flags,
                                            PictureInfo* info);
using GetPictureFn = int ORVEX_SPI_CALL(const char* data, long length, unsigned flags,
                                        void** info_handle, void** bits_handle,
                                        ProgressCallback progress, long callback_data);

// Input kind: the data is the file in memory.
inline constexpr unsigned kInputMemory = 1;

}  // namespace Orvex::Spi
