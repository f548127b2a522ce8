#include "app/engine/http/cookie_string.h"

#include <gtest/gtest.h>

namespace {

struct CookieCase {
  const char* text;
  std::optional<values::Dictionary> expected;
};

TEST(ParseCookieString, ReadsPairsAndSkipsWhatItCannotRead) {
  using D = values::Dictionary;
  const CookieCase cases[] = {
      {"a=1; b=2", D{{"a", "1"}, {"b", "2"}}},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"=v", D{{"", "v"}}},
      {"a=b=c", D{{"a", "b=c"}}},  // only the first "=" separates
      {"a=; b=2", D{{"b", "2"}}},  // a pair without a value is passed over
      {"a=1;", D{{"a", "1"}}},
      {"noequals", std::nullopt},
      {"junk; a=1", D{{"junk; a", "1"}}},  // the name runs up to the first "="
      {";;;", std::nullopt},
      {"a=1; a=2", D{{"a", "2"}}},                           // a later pair replaces an earlier one
      {"sid = x y ; t=1", D{{"sid ", "x y "}, {"t", "1"}}},  // leading blanks skipped, others kept
      // Control characters never come through, in a name or a value.
      {"a\x01b=1; c=2", D{{"c", "2"}}},
      {"sess=ab\x7f; c=2", D{{"c", "2"}}},
      {"a=1\r\nb=2", std::nullopt},
      {"only=x\x1f", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::ParseCookieString(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(ParseCookieString, ANulInsideAValueDropsThatPair) {
  using D = values::Dictionary;
  constexpr char kText[] = "sess=ab\0cd; keep=1";
  const std::string text(kText, sizeof kText - 1);
  EXPECT_EQ(engine::ParseCookieString(text), (D{{"keep", "1"}}));
}

}  // namespace
