#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Orvex {

// A JSON document as read from another program's reply (a compositor's list
// of outputs). Lookups never fail: a member that is missing, or a value of
// another type than asked for, gives the fallback, so that a reply of an
// unexpected shape reads as one without the data.
class JsonValue {
 public:
  enum class Kind { kUndefined, kNull, kBool, kNumber, kString, kArray, kObject };

  // The document in `text`, surrounded by white space only; kUndefined if
  // it is not well-formed JSON or nests deeper than a reply ever would.
  static JsonValue Parse(std::string_view text);

  JsonValue() = default;

  Kind GetKind() const { return kind_; }
  bool IsBool() const { return kind_ == Kind::kBool; }
  bool IsNumber() const { return kind_ == Kind::kNumber; }
  bool IsUndefined() const { return kind_ == Kind::kUndefined; }

  // An object's member (the last of that name); kUndefined otherwise.
  const JsonValue& operator[](std::string_view key) const;
  // An array's elements; none otherwise.
  const std::vector<JsonValue>& Items() const;

  bool ToBool(bool fallback = false) const { return IsBool() ? flag_ : fallback; }
  double ToDouble(double fallback = 0) const { return IsNumber() ? number_ : fallback; }
  // A whole number that fits an int; the fallback for any other value.
  int ToInt(int fallback = 0) const;
  // A string's UTF-8 text; empty otherwise.
  std::string ToString() const { return kind_ == Kind::kString ? text_ : std::string(); }

  // Same kind and same value; numbers by value, objects member by member
  // in order.
  bool operator==(const JsonValue& other) const;

 private:
  friend class JsonParser;

  Kind kind_ = Kind::kUndefined;
  bool flag_ = false;
  double number_ = 0;
  std::string text_;
  std::vector<JsonValue> items_;
  std::vector<std::pair<std::string, JsonValue>> members_;
};

}  // namespace Orvex
