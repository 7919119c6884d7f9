#include "foundation/json.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "foundation/encoding.h"

namespace Orvex {

// Recursive descent over the text. Every failure makes the whole document
// undefined; nothing read so far is kept.
class JsonParser {
 public:
  explicit JsonParser(std::string_view text) : text_(text) {}

  bool Document(JsonValue& value) {
    SkipSpace();
    if (!Value(value, 0)) return false;
    SkipSpace();
    return at_ == text_.size();
  }

 private:
  // Replies nest a few levels; a hostile one must not exhaust the stack.
  static constexpr int kDeepest = 64;

  bool Value(JsonValue& value, int depth) {
    if (at_ >= text_.size() || depth > kDeepest) return false;
    switch (text_[at_]) {
      case '{':
        return Object(value, depth);
      case '[':
        return Array(value, depth);
      case '"':
        value.kind_ = JsonValue::Kind::kString;
        return String(value.text_);
      case 't':
        value.kind_ = JsonValue::Kind::kBool;
        value.flag_ = true;
        return Word("true");
      case 'f':
        value.kind_ = JsonValue::Kind::kBool;
        return Word("false");
      case 'n':
        value.kind_ = JsonValue::Kind::kNull;
        return Word("null");
      default:
        value.kind_ = JsonValue::Kind::kNumber;
        return Number(value.number_);
    }
  }

  bool Object(JsonValue& value, int depth) {
    value.kind_ = JsonValue::Kind::kObject;
    ++at_;
    SkipSpace();
    if (Take('}')) return true;
    for (;;) {
      SkipSpace();
      std::string key;
      if (at_ >= text_.size() || text_[at_] != '"' || !String(key)) return false;
      SkipSpace();
      if (!Take(':')) return false;
      SkipSpace();
      JsonValue member;
      if (!Value(member, depth + 1)) return false;
      value.members_.emplace_back(std::move(key), std::move(member));
      SkipSpace();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Array(JsonValue& value, int depth) {
    value.kind_ = JsonValue::Kind::kArray;
    ++at_;
    SkipSpace();
    if (Take(']')) return true;
    for (;;) {
      SkipSpace();
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      value.items_.push_back(std::move(item));
      SkipSpace();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool String(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      switch (const char escaped = text_[at_++]) {
        case '"':
        case '\\':
        case '/':
          out += escaped;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u':
          if (!Unicode(out)) return false;
          break;
        default:
          return false;
      }
    }
    return false;
  }

  bool Hex4(uint32_t& unit) {
    if (text_.size() - at_ < 4) return false;
    unit = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[at_++];
      unit <<= 4;
      if (c >= '0' && c <= '9') {
        unit |= static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        unit |= static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        unit |= static_cast<uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
    }
    return true;
  }

  // A \u escape, a surrogate pair taken together; a lone surrogate reads
  // as U+FFFD, as the text it stood in could not be shown otherwise.
  bool Unicode(std::string& out) {
    uint32_t code;
    if (!Hex4(code)) return false;
    if (code >= 0xD800 && code < 0xDC00 && text_.substr(at_, 2) == "\\u") {
      const size_t pair_at = at_;
      at_ += 2;
      uint32_t low;
      if (!Hex4(low)) return false;
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      } else {
        at_ = pair_at;  // the second escape stands on its own
      }
    }
    if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
    AppendUtf8(out, code);
    return true;
  }

  // JSON's number grammar checked here; the conversion itself does not
  // depend on the locale.
  bool Number(double& number) {
    const size_t start = at_;
    Take('-');
    if (!Take('0') && !Digits()) return false;
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + at_;
    const auto [end, error] = std::from_chars(first, last, number);
    // Too large a number reads as infinite, which no reply means.
    if (error == std::errc::result_out_of_range) {
      number = *first == '-' ? -std::numeric_limits<double>::infinity()
                             : std::numeric_limits<double>::infinity();
      return true;
    }
    return error == std::errc() && end == last;
  }

  bool Digits() {
    const size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Take(char c) {
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }

  void SkipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }

  std::string_view text_;
  size_t at_ = 0;
};

JsonValue JsonValue::Parse(std::string_view text) {
  JsonValue value;
  if (!JsonParser(text).Document(value)) return JsonValue();
  return value;
}

const JsonValue& JsonValue::operator[](std::string_view key) const {
  static const JsonValue kUndefinedValue;
  for (auto member = members_.rbegin(); member != members_.rend(); ++member) {
    if (member->first == key) return member->second;
  }
  return kUndefinedValue;
}

const std::vector<JsonValue>& JsonValue::Items() const {
  static const std::vector<JsonValue> kNone;
  return kind_ == Kind::kArray ? items_ : kNone;
}

int JsonValue::ToInt(int fallback) const {
  if (!IsNumber() || number_ != std::trunc(number_) || number_ < std::numeric_limits<int>::min() ||
      number_ > std::numeric_limits<int>::max()) {
    return fallback;
  }
  return static_cast<int>(number_);
}

bool JsonValue::operator==(const JsonValue& other) const {
  if (kind_ != other.kind_) return false;
  switch (kind_) {
    case Kind::kBool:
      return flag_ == other.flag_;
    case Kind::kNumber:
      return number_ == other.number_;
    case Kind::kString:
      return text_ == other.text_;
    case Kind::kArray:
      return items_ == other.items_;
    case Kind::kObject:
      return members_ == other.members_;
    default:
      return true;
  }
}

}  // namespace Orvex
