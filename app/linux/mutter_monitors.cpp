#include "app/linux/mutter_monitors.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include "foundation/encoding.h"
#include "foundation/posix/run_command.h"

// gdbus prints the reply as GVariant text. QtDBus would hand over the
// values themselves, but the one-shot change runs before any Qt application
// exists, and gdbus ships with gsettings, which this desktop's backend needs
// anyway. The reader below knows just enough of the text form for this
// reply: tuples, arrays, dictionaries, variants, strings, numbers and
// booleans, with the type annotations gdbus puts in front of some of them.

namespace {

struct Value {
  enum class Kind { kNothing, kNumber, kString, kBool, kList, kDict };
  Kind kind = Kind::kNothing;
  double number = 0;
  bool flag = false;
  std::string text;
  // A tuple's or an array's items; a dictionary's keys and values in turn.
  std::vector<Value> items;

  bool Is(Kind k) const { return kind == k; }
  // The item at index of a list, or an empty value.
  const Value& At(size_t index) const {
    static const Value kNone;
    return kind == Kind::kList && index < items.size() ? items[index] : kNone;
  }
  // A dictionary's value under a string key, or an empty value.
  const Value& Member(const std::string& key) const {
    static const Value kNone;
    if (kind != Kind::kDict) return kNone;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
      if (items[i].Is(Kind::kString) && items[i].text == key) return items[i + 1];
    }
    return kNone;
  }
};

class TextReader {
 public:
  explicit TextReader(const std::string& text) : text_(text) {}

  // One value; false when the text is not one.
  bool Read(Value& value, int depth = 0) {
    if (depth > 32) return false;
    SkipBlanks();
    if (pos_ >= text_.size()) return false;
    const char c = text_[pos_];
    if (c == '(' || c == '[') return ReadList(value, c == '(' ? ')' : ']', depth);
    if (c == '{') return ReadDict(value, depth);
    if (c == '<') {
      ++pos_;
      if (!Read(value, depth + 1)) return false;
      return Expect('>');
    }
    if (c == '\'' || c == '"') return ReadString(value);
    if (c == '@') {
      // A type annotation such as "@a{sv}" before an empty container.
      while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      return Read(value, depth + 1);
    }
    if (c == '-' || c == '+' || c == '.' || std::isdigit(static_cast<unsigned char>(c))) {
      return ReadNumber(value);
    }
    if (std::isalpha(static_cast<unsigned char>(c))) return ReadWord(value, depth);
    return false;
  }

  bool AtEnd() {
    SkipBlanks();
    return pos_ == text_.size();
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Expect(char c) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  bool Peek(char c) {
    SkipBlanks();
    return pos_ < text_.size() && text_[pos_] == c;
  }

  bool ReadList(Value& value, char close, int depth) {
    ++pos_;
    value.kind = Value::Kind::kList;
    if (Expect(close)) return true;
    for (;;) {
      Value& item = value.items.emplace_back();
      if (!Read(item, depth + 1)) return false;
      if (Expect(close)) return true;
      if (!Expect(',')) return false;
      // A tuple of one is written "(x,)".
      if (close == ')' && Expect(close)) return true;
    }
  }

  bool ReadDict(Value& value, int depth) {
    ++pos_;
    value.kind = Value::Kind::kDict;
    if (Expect('}')) return true;
    for (;;) {
      Value& key = value.items.emplace_back();
      if (!Read(key, depth + 1) || !Expect(':')) return false;
      Value& entry = value.items.emplace_back();
      if (!Read(entry, depth + 1)) return false;
      if (Expect('}')) return true;
      if (!Expect(',')) return false;
    }
  }

  bool ReadString(Value& value) {
    const char quote = text_[pos_++];
    value.kind = Value::Kind::kString;
    while (pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == quote) return true;
      if (c != '\\') {
        value.text += c;
        continue;
      }
      if (pos_ >= text_.size()) return false;
      const char escaped = text_[pos_++];
      switch (escaped) {
        case 'n':
          value.text += '\n';
          break;
        case 't':
          value.text += '\t';
          break;
        case 'r':
          value.text += '\r';
          break;
        case 'a':
          value.text += '\a';
          break;
        case 'b':
          value.text += '\b';
          break;
        case 'f':
          value.text += '\f';
          break;
        case 'v':
          value.text += '\v';
          break;
        case 'u':
        case 'U': {
          const size_t digits = escaped == 'u' ? 4 : 8;
          if (pos_ + digits > text_.size()) return false;
          const std::string hex = text_.substr(pos_, digits);
          char* end = nullptr;
          const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
          if (end != hex.c_str() + digits || code > 0x10FFFF) return false;
          pos_ += digits;
          Orvex::AppendUtf8(value.text, static_cast<char32_t>(code));
          break;
        }
        default:
          value.text += escaped;
          break;
      }
    }
    return false;
  }

  bool ReadNumber(Value& value) {
    const char* start = text_.c_str() + pos_;
    char* end = nullptr;
    value.number = std::strtod(start, &end);
    if (end == start) return false;
    pos_ += static_cast<size_t>(end - start);
    value.kind = Value::Kind::kNumber;
    return true;
  }

  bool ReadWord(Value& value, int depth) {
    const size_t start = pos_;
    while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])))) ++pos_;
    const std::string word = text_.substr(start, pos_ - start);
    if (word == "true" || word == "false") {
      value.kind = Value::Kind::kBool;
      value.flag = word == "true";
      return true;
    }
    if (word == "nothing") return true;
    // "b'...'" is a byte string.
    if (word == "b" && pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '"')) {
      return ReadString(value);
    }
    // The type names gdbus writes before a value whose type the text
    // would not show otherwise ("uint32 0", "objectpath '/'", "just 3").
    static constexpr const char* kTypeWords[] = {
        "byte",   "int16",      "uint16",    "int32",  "uint32",  "int64",  "uint64",
        "handle", "objectpath", "signature", "double", "boolean", "string", "just"};
    for (const char* type : kTypeWords) {
      if (word == type) return Read(value, depth + 1);
    }
    return false;
  }

  const std::string& text_;
  size_t pos_ = 0;
};

// The reply's whole text; leading lines that are not it (a warning on the
// same stream) are passed over.
std::optional<Value> ReadReply(const std::string& text) {
  std::istringstream lines(text);
  size_t offset = 0;
  for (std::string line; std::getline(lines, line); offset += line.size() + 1) {
    if (line.empty() || line[0] != '(') continue;
    const std::string rest = text.substr(offset);
    TextReader reader(rest);
    Value value;
    if (reader.Read(value) && reader.AtEnd() && value.Is(Value::Kind::kList)) return value;
  }
  return std::nullopt;
}

int Round(double value) { return static_cast<int>(std::lround(value)); }

// The monitor a connector names in the reply's list of monitors: its
// current mode's size in device pixels.
std::optional<Orvex::PlaneSize> CurrentModeSize(const Value& monitors,
                                                const std::string& connector) {
  for (const Value& monitor : monitors.items) {
    if (monitor.At(0).At(0).text != connector) continue;
    for (const Value& mode : monitor.At(1).items) {
      const Value& current = mode.At(6).Member("is-current");
      if (!current.Is(Value::Kind::kBool) || !current.flag) continue;
      const Value& width = mode.At(1);
      const Value& height = mode.At(2);
      if (!width.Is(Value::Kind::kNumber) || !height.Is(Value::Kind::kNumber)) return std::nullopt;
      return Orvex::PlaneSize{Round(width.number), Round(height.number)};
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<MonitorList> MutterMonitors(const std::string& current_state) {
  const std::optional<Value> reply = ReadReply(current_state);
  if (!reply) return std::nullopt;
  const Value& monitors = reply->At(1);
  const Value& logical_monitors = reply->At(2);
  // Where the layout is logical, a scaled monitor covers its mode's size
  // divided by the scale; where it is physical, the mode's size. A reply
  // without the property comes from a compositor that knows only logical
  // layouts.
  const Value& layout_mode = reply->At(3).Member("layout-mode");
  const bool logical = !layout_mode.Is(Value::Kind::kNumber) || layout_mode.number != 2;

  MonitorList list;
  for (const Value& logical_monitor : logical_monitors.items) {
    const Value& x = logical_monitor.At(0);
    const Value& y = logical_monitor.At(1);
    const Value& scale = logical_monitor.At(2);
    const Value& transform = logical_monitor.At(3);
    const Value& primary = logical_monitor.At(4);
    const std::string& connector = logical_monitor.At(5).At(0).At(0).text;
    if (!x.Is(Value::Kind::kNumber) || !y.Is(Value::Kind::kNumber) || connector.empty()) {
      continue;
    }
    std::optional<Orvex::PlaneSize> size = CurrentModeSize(monitors, connector);
    if (!size) continue;
    // Turned by 90 or 270 degrees, flipped or not: the sides swap.
    const int turn = transform.Is(Value::Kind::kNumber) ? Round(transform.number) : 0;
    if (turn % 2 == 1) std::swap(size->width, size->height);
    if (logical && scale.Is(Value::Kind::kNumber) && scale.number > 0) {
      size->width = Round(size->width / scale.number);
      size->height = Round(size->height / scale.number);
    }
    if (size->width <= 0 || size->height <= 0) continue;
    Monitor monitor;
    monitor.rect = {Round(x.number), Round(y.number), Round(x.number) + size->width,
                    Round(y.number) + size->height};
    monitor.primary = primary.Is(Value::Kind::kBool) && primary.flag;
    monitor.name = Orvex::GetDefaultEncoding().ToWide(connector);
    list.push_back(std::move(monitor));
  }
  if (list.empty()) return std::nullopt;
  return list;
}

std::optional<MonitorList> QueryMutterMonitors() {
  Orvex::CommandResult reply;
  try {
    reply =
        Orvex::RunCommand({"gdbus", "call", "--session", "--dest", "org.gnome.Mutter.DisplayConfig",
                           "--object-path", "/org/gnome/Mutter/DisplayConfig", "--method",
                           "org.gnome.Mutter.DisplayConfig.GetCurrentState"},
                          {std::chrono::milliseconds(5000), 256 * 1024});
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (reply.exit_code != 0) return std::nullopt;
  return MutterMonitors(reply.output);
}
