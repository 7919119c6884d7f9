#include "foundation/shared_string.h"

#include <cstdarg>
#include <cstdio>
#include <cwctype>

namespace Orvex {
namespace {

const std::shared_ptr<const std::u16string>& EmptyText() {
  // Never destroyed: strings in static objects may outlive any order of
  // static destruction.
  static const auto* empty =
      new std::shared_ptr<const std::u16string>(std::make_shared<const std::u16string>());
  return *empty;
}

std::shared_ptr<const std::u16string> MakeText(std::u16string&& text) {
  if (text.empty()) return EmptyText();
  return std::make_shared<const std::u16string>(std::move(text));
}

bool IsSpace(char16_t c) { return std::iswspace(static_cast<wint_t>(c)) != 0; }

size_t Utf16Length(const char16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

// Appends one formatted conversion. Numbers go through the C library's
// narrow printf (their output is ASCII); texts are copied as UTF-16 so that
// nothing depends on the width of wchar_t.
void AppendPadded(std::u16string& out, std::u16string_view body, int width, bool left) {
  size_t pad = width > 0 && static_cast<size_t>(width) > body.size() ? width - body.size() : 0;
  if (!left) out.append(pad, u' ');
  out.append(body);
  if (left) out.append(pad, u' ');
}

}  // namespace

SharedString::SharedString() : text_(EmptyText()) {}
SharedString::SharedString(const char16_t* text)
    : text_(text && *text ? MakeText(std::u16string(text)) : EmptyText()) {}
SharedString::SharedString(const char16_t* text, size_t length)
    : text_(length ? MakeText(std::u16string(text, length)) : EmptyText()) {}
SharedString::SharedString(std::u16string_view text) : text_(MakeText(std::u16string(text))) {}
SharedString::SharedString(std::u16string&& text) : text_(MakeText(std::move(text))) {}

SharedString SharedString::Format(const char16_t* format, ...) {
  std::u16string out;
  va_list args;
  va_start(args, format);
  for (const char16_t* p = format; *p;) {
    if (*p != u'%') {
      out.push_back(*p++);
      continue;
    }
    const char16_t* start = p++;
    if (*p == u'%') {
      out.push_back(u'%');
      ++p;
      continue;
    }
    std::string narrow_format = "%";
    bool left = false;
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') {
      if (*p == u'-') left = true;
      narrow_format.push_back(static_cast<char>(*p++));
    }
    int width = -1;
    if (*p == u'*') {
      width = va_arg(args, int);
      if (width < 0) {
        left = true;
        narrow_format.push_back('-');
        width = -width;
      }
      narrow_format += std::to_string(width);
      ++p;
    } else if (*p >= u'0' && *p <= u'9') {
      width = 0;
      while (*p >= u'0' && *p <= u'9') {
        width = width * 10 + (*p - u'0');
        narrow_format.push_back(static_cast<char>(*p++));
      }
    }
    int precision = -1;
    if (*p == u'.') {
      narrow_format.push_back('.');
      ++p;
      precision = 0;
      if (*p == u'*') {
        precision = va_arg(args, int);
        narrow_format += std::to_string(precision < 0 ? 0 : precision);
        ++p;
      } else {
        while (*p >= u'0' && *p <= u'9') {
          precision = precision * 10 + (*p - u'0');
          narrow_format.push_back(static_cast<char>(*p++));
        }
      }
    }
    enum { kDefault, kShort, kChar, kLong, kLongLong, kSize } length = kDefault;
    bool narrow_text = false;
    if (*p == u'h') {
      ++p;
      length = kShort;
      narrow_text = true;
      if (*p == u'h') {
        ++p;
        length = kChar;
      }
    } else if (*p == u'l') {
      ++p;
      length = kLong;
      if (*p == u'l') {
        ++p;
        length = kLongLong;
      }
    } else if (*p == u'z') {
      ++p;
      length = kSize;
    } else if (*p == u'I' && p[1] == u'6' && p[2] == u'4') {
      p += 3;
      length = kLongLong;
    }
    const char16_t conversion = *p;
    if (conversion == 0) {  // a lone '%' at the end stays as written
      out.append(start, p);
      break;
    }
    ++p;
    char buffer[512];
    auto number = [&](auto value, const char* modifier) {
      std::string full = narrow_format + modifier + static_cast<char>(conversion);
      int n = std::snprintf(buffer, sizeof buffer, full.c_str(), value);
      for (int i = 0; i < n && i < static_cast<int>(sizeof buffer) - 1; ++i)
        out.push_back(static_cast<unsigned char>(buffer[i]));
    };
    switch (conversion) {
      case u'd':
      case u'i':
        if (length == kLongLong)
          number(va_arg(args, long long), "ll");
        else if (length == kLong)
          number(va_arg(args, long), "l");
        else if (length == kSize)
          number(va_arg(args, ptrdiff_t), "t");
        else if (length == kShort)
          number(static_cast<short>(va_arg(args, int)), "");
        else if (length == kChar)
          number(static_cast<signed char>(va_arg(args, int)), "");
        else
          number(va_arg(args, int), "");
        break;
      case u'u':
      case u'x':
      case u'X':
      case u'o':
        if (length == kLongLong)
          number(va_arg(args, unsigned long long), "ll");
        else if (length == kLong)
          number(va_arg(args, unsigned long), "l");
        else if (length == kSize)
          number(va_arg(args, size_t), "z");
        else if (length == kShort)
          number(static_cast<unsigned short>(va_arg(args, unsigned)), "");
        else if (length == kChar)
          number(static_cast<unsigned char>(va_arg(args, unsigned)), "");
        else
          number(va_arg(args, unsigned), "");
        break;
      case u'e':
      case u'E':
      case u'f':
      case u'F':
      case u'g':
      case u'G':
        number(va_arg(args, double), "");
        break;
      case u'p': {
        int n = std::snprintf(buffer, sizeof buffer, "%p", va_arg(args, void*));
        std::u16string body(buffer, buffer + (n > 0 ? n : 0));
        AppendPadded(out, body, width, left);
        break;
      }
      case u'c':
      case u'C': {
        char16_t c = static_cast<char16_t>(va_arg(args, int));
        AppendPadded(out, std::u16string_view(&c, 1), width, left);
        break;
      }
      case u's':
      case u'S': {
        std::u16string body;
        if (narrow_text || conversion == u'S') {
          const char* s = va_arg(args, const char*);
          if (!s) s = "(null)";
          for (; *s && (precision < 0 || static_cast<int>(body.size()) < precision); ++s)
            body.push_back(static_cast<unsigned char>(*s));
        } else {
          const char16_t* s = va_arg(args, const char16_t*);
          if (!s) s = u"(null)";
          size_t n = Utf16Length(s);
          if (precision >= 0 && static_cast<size_t>(precision) < n) n = precision;
          body.assign(s, n);
        }
        AppendPadded(out, body, width, left);
        break;
      }
      default:  // unknown conversion: keep the text as written
        out.append(start, p);
        break;
    }
  }
  va_end(args);
  return SharedString(std::move(out));
}

SharedString SharedString::Substring(size_t position, size_t count) const {
  if (position >= text_->size()) return SharedString();
  if (position == 0 && count >= text_->size()) return *this;
  return SharedString(std::u16string_view(*text_).substr(position, count));
}

size_t SharedString::Find(std::u16string_view what, size_t from) const {
  return text_->find(what, from);
}

size_t SharedString::FindLastOf(std::u16string_view chars, size_t before) const {
  return text_->find_last_of(chars, before);
}

bool SharedString::StartsWith(std::u16string_view head) const {
  return std::u16string_view(*text_).starts_with(head);
}

bool SharedString::EndsWith(std::u16string_view tail) const {
  return std::u16string_view(*text_).ends_with(tail);
}

SharedString SharedString::TrimLeft() const {
  size_t first = 0;
  while (first < text_->size() && IsSpace((*text_)[first])) ++first;
  return Substring(first);
}

SharedString SharedString::TrimRight() const {
  size_t end = text_->size();
  while (end > 0 && IsSpace((*text_)[end - 1])) --end;
  return Substring(0, end);
}

SharedString SharedString::Trim() const { return TrimLeft().TrimRight(); }

SharedString SharedString::ReplaceAll(std::u16string_view from, std::u16string_view to) const {
  if (from.empty() || text_->find(from) == npos) return *this;
  std::u16string out;
  size_t position = 0;
  for (size_t hit; (hit = text_->find(from, position)) != npos; position = hit + from.size()) {
    out.append(*text_, position, hit - position);
    out.append(to);
  }
  out.append(*text_, position);
  return SharedString(std::move(out));
}

std::vector<SharedString> SharedString::Split(std::u16string_view separator) const {
  std::vector<SharedString> parts;
  if (separator.empty()) {
    parts.push_back(*this);
    return parts;
  }
  size_t position = 0;
  for (size_t hit; (hit = text_->find(separator, position)) != npos;
       position = hit + separator.size())
    parts.push_back(Substring(position, hit - position));
  parts.push_back(Substring(position));
  return parts;
}

SharedString operator+(const SharedString& a, const SharedString& b) {
  if (b.IsEmpty()) return a;
  if (a.IsEmpty()) return b;
  return SharedString(a.Str() + b.Str());
}
SharedString operator+(const SharedString& a, const char16_t* b) { return a + SharedString(b); }
SharedString operator+(const char16_t* a, const SharedString& b) { return SharedString(a) + b; }
SharedString operator+(const SharedString& a, char16_t b) { return SharedString(a.Str() + b); }

int SharedString::Compare(const SharedString& other) const {
  return text_->compare(*other.text_) < 0 ? -1 : (*text_ == *other.text_ ? 0 : 1);
}

SharedString FromUtf8(std::string_view utf8) {
  std::u16string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    char32_t code;
    int extra;
    if (c < 0x80)
      code = c, extra = 0;
    else if ((c & 0xE0) == 0xC0)
      code = c & 0x1F, extra = 1;
    else if ((c & 0xF0) == 0xE0)
      code = c & 0x0F, extra = 2;
    else if ((c & 0xF8) == 0xF0)
      code = c & 0x07, extra = 3;
    else
      code = 0xFFFD, extra = 0;
    ++i;
    for (int k = 0; k < extra; ++k, ++i) {
      if (i >= utf8.size() || (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) {
        code = 0xFFFD;
        break;
      }
      code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
  }
  return SharedString(std::move(out));
}

std::string ToUtf8(const SharedString& text) {
  std::string out;
  const std::u16string& s = text.Str();
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t code = s[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace Orvex
