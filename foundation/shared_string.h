#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Orvex {

// An immutable UTF-16 text shared by reference count. Copies share the
// text; every operation that produces text makes a new one. All empty
// results share one process-wide instance.
class SharedString {
 public:
  static constexpr size_t npos = std::u16string::npos;

  SharedString();
  SharedString(const char16_t* text);  // NOLINT: texts convert implicitly
  SharedString(const char16_t* text, size_t length);
  SharedString(std::u16string_view text);  // NOLINT
  explicit SharedString(std::u16string&& text);

  // printf-style formatting on a UTF-16 format. Conversions: d i u x X o c
  // e f g p and %%, with flags, width, precision and the h/l/ll/z length
  // modifiers. %s and %ls take a zero-terminated const char16_t*, %hs and
  // %S a zero-terminated narrow const char* (bytes widened one by one).
  static SharedString Format(const char16_t* format, ...);

  size_t Length() const { return text_->size(); }
  bool IsEmpty() const { return text_->empty(); }
  const char16_t* CStr() const { return text_->c_str(); }
  const std::u16string& Str() const { return *text_; }
  std::u16string_view View() const { return *text_; }
  char16_t operator[](size_t index) const { return (*text_)[index]; }
  char16_t Back() const { return text_->back(); }

  // True when both handles share one text (not merely equal texts).
  bool SharesTextWith(const SharedString& other) const { return text_ == other.text_; }

  SharedString Substring(size_t position, size_t count = npos) const;
  size_t Find(std::u16string_view what, size_t from = 0) const;
  size_t FindLastOf(std::u16string_view chars, size_t before = npos) const;
  bool StartsWith(std::u16string_view head) const;
  bool EndsWith(std::u16string_view tail) const;

  SharedString Trim() const;
  SharedString TrimLeft() const;
  SharedString TrimRight() const;
  SharedString ReplaceAll(std::u16string_view from, std::u16string_view to) const;
  // Splits at every occurrence of the separator text; n separators give
  // n + 1 parts (empty parts kept). An empty separator gives the text whole.
  std::vector<SharedString> Split(std::u16string_view separator) const;

  friend SharedString operator+(const SharedString& a, const SharedString& b);
  friend SharedString operator+(const SharedString& a, const char16_t* b);
  friend SharedString operator+(const char16_t* a, const SharedString& b);
  friend SharedString operator+(const SharedString& a, char16_t b);

  int Compare(const SharedString& other) const;
  friend bool operator==(const SharedString& a, const SharedString& b) {
    return a.text_ == b.text_ || *a.text_ == *b.text_;
  }
  friend std::strong_ordering operator<=>(const SharedString& a, const SharedString& b) {
    return a.Compare(b) <=> 0;
  }

 private:
  std::shared_ptr<const std::u16string> text_;
};

// ASCII or UTF-8 narrow text to UTF-16, for literals in tests and messages
// that are not in the system code page (plain code-point conversion; use the
// default encoding for text that comes from the system).
SharedString FromUtf8(std::string_view utf8);
std::string ToUtf8(const SharedString& text);

}  // namespace Orvex
