/* Susie import plug-ins that behave in one way each, for the tests of the
 * plug-in loader and of the whole program. Which one is built is chosen by
 * a PLUGIN_... definition.
 *
 * The picture format they share ("PTPF"), little-endian:
 *   0  "PTPF"
 *   4  width (16 bits), 6 height (16 bits)
 *   8  bits per pixel: 8 (an index into the palette below), 24 or 32
 *   10 the file's size (32 bits)
 *   14 pixels, rows top-down, unpadded: index, or B G R, or B G R A
 * Files of the liar start with "LIE" and a digit that picks the lie. */

#include <string.h>
#include <windows.h>

#define EXPORT __declspec(dllexport)

#pragma pack(push, 1)
typedef struct {
  long left, top, width, height;
  WORD x_density, y_density;
  short color_depth;
  HLOCAL text;
} PictureInfo;
#pragma pack(pop)

typedef int(WINAPI* Progress)(int, int, long);

static unsigned Read16(const unsigned char* p) { return p[0] | p[1] << 8; }
static unsigned Read32(const unsigned char* p) { return Read16(p) | Read16(p + 2) << 16; }

static int Copy(char* buffer, int length, const char* text) {
  int n = (int)strlen(text);
  if (n >= length) n = length - 1;
  if (n < 0) return 0;
  memcpy(buffer, text, n);
  buffer[n] = 0;
  return n;
}

/* An access violation, an integer division by zero or a jump to nowhere,
 * chosen by a byte of the file so that one plug-in shows all three. The
 * address is in the top page, which is never the program's: Wine may
 * have memory at address zero in a 32-bit process. */
static int Fault(unsigned char selector) {
  volatile int zero = 0;
  volatile int one = 1;
  int* volatile nowhere = (int*)~(ULONG_PTR)0xFFF;
  void (*volatile jump)(void) = (void (*)(void)) ~(ULONG_PTR)0xFFF;
  switch (selector % 3) {
    case 0:
      *nowhere = 1;
      return 0;
    case 1:
      return one / zero;
    default:
      jump();
      return 0;
  }
}

static int IsPtpf(const unsigned char* p) { return memcmp(p, "PTPF", 4) == 0; }

/* A bottom-up bitmap of the picture in two local-memory blocks. */
static int MakeBitmap(const unsigned char* data, long length, HLOCAL* info, HLOCAL* bits) {
  unsigned width, height, depth, stride, palette, x, y;
  BITMAPINFOHEADER* header;
  unsigned char* out;
  if (length < 14 || !IsPtpf(data) || Read32(data + 10) != (unsigned)length) return 2;
  width = Read16(data + 4);
  height = Read16(data + 6);
  depth = data[8];
  if (depth != 8 && depth != 24 && depth != 32) return 2;
  if ((unsigned long)length < 14 + (unsigned long)width * height * (depth / 8)) return 2;
  palette = depth == 8 ? 256 : 0;
  stride = (width * depth + 31) / 32 * 4;
  *info = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, sizeof(BITMAPINFOHEADER) + palette * 4);
  *bits = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, stride * height);
  header = (BITMAPINFOHEADER*)LocalLock(*info);
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = (WORD)depth;
  header->biClrUsed = palette;
  for (x = 0; x < palette; ++x) {
    RGBQUAD* q = (RGBQUAD*)(header + 1) + x;
    q->rgbBlue = (BYTE)x;
    q->rgbGreen = (BYTE)(255 - x);
    q->rgbRed = 128;
  }
  LocalUnlock(*info);
  out = (unsigned char*)LocalLock(*bits);
  for (y = 0; y < height; ++y) {
    memcpy(out + (height - 1 - y) * stride, data + 14 + y * width * (depth / 8),
           width * (depth / 8));
  }
  LocalUnlock(*bits);
  return 0;
}

/* A solid 2 x 2 picture in 24 bits, for plug-ins that are not about the
 * format. */
static int MakeSolid(BYTE red, BYTE green, BYTE blue, HLOCAL* info, HLOCAL* bits) {
  unsigned char file[14 + 12] = "PTPF";
  int i;
  file[4] = 2;
  file[6] = 2;
  file[8] = 24;
  file[10] = sizeof file;
  for (i = 0; i < 4; ++i) {
    file[14 + 3 * i] = blue;
    file[15 + 3 * i] = green;
    file[16 + 3 * i] = red;
  }
  return MakeBitmap(file, sizeof file, info, bits);
}

#if defined(PLUGIN_DECODER)
static const char* const kInfo[] = {"00IN",         "Test decoder", "*.ptp",
                                    "Test picture", "*.ptq",        "Test palette picture"};
#elif defined(PLUGIN_NOT_IMPORT)
static const char* const kInfo[] = {"00AM", "Test archive", "*.ptp", "Test archive"};
#elif defined(PLUGIN_CLAIMS_JPEG)
static const char* const kInfo[] = {"00IN", "Test JPEG", "*.jpg;*.jpeg", "JPEG by plug-in"};
#else
static const char* const kInfo[] = {"00IN", "Test plug-in", "*.ptp", "Test picture"};
#endif

#if !defined(PLUGIN_NO_PLUGIN_INFO)
EXPORT int WINAPI GetPluginInfo(int number, char* buffer, int length) {
#if defined(PLUGIN_LIES)
  /* Never says that it has run out of descriptions. */
  if (number >= 2) return Copy(buffer, length, number % 2 ? "Lies" : "*.lie");
#endif
  if (number < 0 || number >= (int)(sizeof kInfo / sizeof kInfo[0])) return 0;
  return Copy(buffer, length, kInfo[number]);
}
#endif

EXPORT int WINAPI IsSupported(const char* name, ULONG_PTR address) {
  const unsigned char* p = (const unsigned char*)address;
  (void)name;
#if defined(PLUGIN_DECODER)
  /* Reads the whole 2 KB a plug-in may read; a short file must come with
   * zeros after its end. */
  unsigned i, size;
  if (!IsPtpf(p)) return 0;
  size = Read32(p + 10);
  for (i = size; i < 2048; ++i) {
    if (p[i] != 0) return 0;
  }
  return 1;
#elif defined(PLUGIN_DECLINES)
  (void)p;
  return 0;
#elif defined(PLUGIN_GET_PICTURE_FAILS)
  return IsPtpf(p);
#elif defined(PLUGIN_FAULTS_IN_IS_SUPPORTED)
  return Fault(p[1]);
#elif defined(PLUGIN_CLAIMS_JPEG)
  return p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
#elif defined(PLUGIN_LIES)
  return memcmp(p, "LIE", 3) == 0;
#else
  /* Everything: these must never be asked, or must fail later. */
  (void)p;
  return 1;
#endif
}

EXPORT int WINAPI GetPictureInfo(const char* data, long length, unsigned flags, PictureInfo* info) {
  const unsigned char* p = (const unsigned char*)data;
  (void)flags;
  memset(info, 0, sizeof *info);
  if (length >= 14 && IsPtpf(p)) {
    info->width = Read16(p + 4);
    info->height = Read16(p + 6);
    info->color_depth = p[8];
  } else {
    info->width = info->height = 2;
    info->color_depth = 24;
  }
#if defined(PLUGIN_DECODER)
  /* The caller owns the text and frees it. */
  info->text = LocalAlloc(LMEM_FIXED, 16);
  if (info->text) strcpy((char*)info->text, "test comment");
#elif defined(PLUGIN_LIES)
  switch (length >= 4 ? p[3] : 0) {
    case '3':
      info->width = 0;
      break;
    case '4':
      info->height = -2;
      break;
    case '5':
      info->width = info->height = 100000;
      break;
  }
#endif
  return 0;
}

EXPORT int WINAPI GetPicture(const char* data, long length, unsigned flags, HLOCAL* info,
                             HLOCAL* bits, Progress progress, long callback_data) {
  const unsigned char* p = (const unsigned char*)data;
  (void)flags;
  (void)progress;
  (void)callback_data;
#if defined(PLUGIN_DECODER)
  return MakeBitmap(p, length, info, bits);
#elif defined(PLUGIN_GET_PICTURE_FAILS) || defined(PLUGIN_DECLINES)
  (void)p, (void)length, (void)info, (void)bits;
  return 1;
#elif defined(PLUGIN_FAULTS_IN_GET_PICTURE) || defined(PLUGIN_FAULTS_IN_IS_SUPPORTED)
  (void)length, (void)info, (void)bits;
  return Fault(p[1]);
#elif defined(PLUGIN_CLAIMS_JPEG)
  (void)p, (void)length;
  return MakeSolid(0x12, 0x34, 0x56, info, bits);
#elif defined(PLUGIN_LIES)
  BITMAPINFOHEADER* header;
  int result = MakeSolid(1, 2, 3, info, bits);
  (void)length;
  header = (BITMAPINFOHEADER*)LocalLock(*info);
  switch (p[3]) {
    case '0': /* a header longer than its block */
      header->biSize = 4096;
      break;
    case '1': /* a colour table that is not there */
      header->biBitCount = 8;
      header->biClrUsed = 256;
      break;
    case '2': /* more rows than pixel data */
      header->biHeight = 5000;
      break;
    case '6': /* success without pixels */
      LocalFree(*bits);
      *bits = NULL;
      break;
    case '7': /* a size whose arithmetic overflows */
      header->biWidth = 0x7FFFFFFF;
      header->biHeight = 0x7FFFFFFF;
      break;
  }
  LocalUnlock(*info);
  return result;
#else
  /* Plug-ins that must never get this far deliver a picture in a colour
   * no test expects. */
  (void)p, (void)length;
  return MakeSolid(0xFF, 0x00, 0xFF, info, bits);
#endif
}
