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
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::ParseCookieString(c.text), c.expected) << '"' << c.text << '"';
  }
}

}  // namespace
