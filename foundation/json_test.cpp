#include "foundation/json.h"

#include <gtest/gtest.h>

#include <string>

namespace Orvex {
namespace {

TEST(JsonTest, ReadsAReplyAndFallsBackWhereItHasNoSuchValue) {
  const JsonValue reply = JsonValue::Parse(
      " [ {\"name\": \"HDMI-A-1\", \"active\": true, \"scale\": 1.5, \"id\": -42,\n"
      "    \"rect\": {\"x\": 0, \"y\": 1080, \"width\": 2560.0}, \"modes\": [],\n"
      "    \"make\": \"\\u30e2\\u30cb\\u30bf \\\"A\\\"\\t\\ud83d\\ude00 \xe7\x94\xbb\\/\", "
      "\"big\": 1e10, \"half\": 0.5, \"none\": null},\n"
      "   \"not an output\" ]\r\n");
  ASSERT_EQ(reply.GetKind(), JsonValue::Kind::kArray);
  ASSERT_EQ(reply.Items().size(), 2u);
  const JsonValue& output = reply.Items()[0];
  EXPECT_EQ(output["name"].ToString(), "HDMI-A-1");
  EXPECT_TRUE(output["active"].ToBool());
  EXPECT_EQ(output["scale"].ToDouble(), 1.5);
  EXPECT_EQ(output["id"].ToInt(), -42);
  EXPECT_EQ(output["rect"]["y"].ToInt(), 1080);
  EXPECT_EQ(output["rect"]["width"].ToInt(-1), 2560);
  EXPECT_EQ(output["make"].ToString(),
            "\xe3\x83\xa2\xe3\x83\x8b\xe3\x82\xbf \"A\"\t\xf0\x9f\x98\x80 \xe7\x94\xbb/");
  EXPECT_EQ(output["none"].GetKind(), JsonValue::Kind::kNull);

  // Missing members, other types and numbers no int holds give the fallback.
  EXPECT_TRUE(output["missing"].IsUndefined());
  EXPECT_EQ(output["missing"]["deeper"].ToInt(7), 7);
  EXPECT_EQ(output["name"].ToInt(-1), -1);
  EXPECT_EQ(output["active"].ToDouble(2.5), 2.5);
  EXPECT_EQ(output["scale"].ToInt(-1), -1);
  EXPECT_EQ(output["big"].ToInt(-1), -1);
  EXPECT_EQ(output["half"].ToBool(true), true);
  EXPECT_EQ(output["id"].ToString(), "");
  EXPECT_TRUE(output["modes"].Items().empty());
  EXPECT_TRUE(output.Items().empty());
  EXPECT_TRUE(reply.Items()[1]["name"].IsUndefined());
}

TEST(JsonTest, ComparesByKindAndValueAndTakesTheLastOfTwoMembers) {
  const JsonValue modes = JsonValue::Parse(R"({"a": "1", "b": 1, "c": 1.0, "d": 1e0, "b": 2})");
  EXPECT_FALSE(modes["a"] == modes["c"]);
  EXPECT_TRUE(modes["c"] == modes["d"]);
  EXPECT_EQ(modes["b"].ToInt(), 2);
  EXPECT_TRUE(JsonValue::Parse(R"([{"x": [1, null]}])") == JsonValue::Parse(R"([{"x":[1,null]}])"));
  EXPECT_FALSE(JsonValue::Parse(R"({"x": 1})") == JsonValue::Parse(R"({"x": 1, "y": 2})"));
}

TEST(JsonTest, AnythingButOneWellFormedDocumentIsUndefined) {
  const std::string whole = R"({"outputs": [{"id": 1, "pos": {"x": -1.5e3}, "s": "\u00e9"}]})";
  ASSERT_EQ(JsonValue::Parse(whole).GetKind(), JsonValue::Kind::kObject);
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    EXPECT_TRUE(JsonValue::Parse(whole.substr(0, cut)).IsUndefined()) << cut;
  }
  for (const char* bad : {"",          "[1,]",          "{\"a\":1,}", "{\"a\" 1}",
                          "{a: 1}",    "[01]",          "[1.]",       "[.5]",
                          "[-]",       "[1e]",          "[+1]",       "[\"tab\there\"]",
                          "[\"\\x\"]", "[\"\\u12g4\"]", "[tru]",      "[nul]",
                          "{} {}",     "[1] x",         "'a'",        "[\"unterminated]",
                          "{\"a\":1"}) {
    EXPECT_TRUE(JsonValue::Parse(bad).IsUndefined()) << bad;
  }
  // Nesting that would exhaust the stack is refused, not followed.
  EXPECT_TRUE(JsonValue::Parse(std::string(100000, '[')).IsUndefined());
  EXPECT_FALSE(JsonValue::Parse(std::string(20, '[') + std::string(20, ']')).IsUndefined());
}

}  // namespace
}  // namespace Orvex
