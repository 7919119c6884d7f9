#pragma once

#include <string>
#include <string_view>

#include "foundation/shared_string.h"

namespace Orvex {

// Conversion between UTF-16 text and the system's narrow encoding.
class Encoding {
 public:
  Encoding() = default;
  Encoding(const Encoding&) = delete;
  Encoding& operator=(const Encoding&) = delete;
  virtual ~Encoding() = default;

  // Writes at most byte_capacity bytes, never part of a character; returns
  // the number written (0 for char_count <= 0).
  virtual int GetBytes(const char16_t* chars, int char_count, char* bytes,
                       int byte_capacity) const = 0;
  virtual int GetMaxByteCount(int char_count) const = 0;
  virtual int GetMaxCharCount(int byte_count) const = 0;
  virtual SharedString GetString(const char* bytes, int offset, int count) const = 0;
  virtual bool IsSingleByte() const = 0;

  std::string ToMultiByte(const SharedString& text) const;
  SharedString ToWide(std::string_view bytes) const;
};

// Appends one code point as UTF-8, for text that other programs escape.
void AppendUtf8(std::string& out, char32_t code);

// The ANSI code page on Windows, UTF-8 elsewhere. Created on first use.
const Encoding& GetDefaultEncoding();

// True where the OS takes UTF-16 at its wide entry points (every Windows we
// run on, and every POSIX system, which has no narrow/wide split).
bool IsNtPlatform();

}  // namespace Orvex
