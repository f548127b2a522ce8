#include "app/util/text/regex_utilities.h"

#include <gtest/gtest.h>

namespace {

TEST(RegexUtilities, MatchesAnywhereOnUtf8Bytes) {
  auto re = util::CompiledRegex::Compile("\\.(zip|dmg)$", REG_EXTENDED | REG_ICASE | REG_NOSUB);
  ASSERT_TRUE(re);
  EXPECT_TRUE(util::RegexMatchesCFString("file.ZIP", *re));
  EXPECT_FALSE(util::RegexMatchesCFString("file.zip.txt", *re));
  EXPECT_TRUE(util::RegexMatchesCFString("\xC3\xA9t\xC3\xA9.zip", *re));
  EXPECT_FALSE(util::RegexMatchesCFString("bad\xFF.zip", *re));  // not UTF-8: never matches
  EXPECT_FALSE(util::CompiledRegex::Compile("(", REG_EXTENDED));
}

TEST(RegexUtilities, CaptureGivesTheFirstGroupCaseBlindPerLine) {
  using O = std::optional<std::string>;
  const std::tuple<const char*, const char*, O> cases[] = {
      {"/url?sa=t&q=http%3A%2F%2Fx&b=1", "&q=([^&]+)", "http%3A%2F%2Fx"},
      {"NAME=Value", "name=(.*)", "Value"},
      {"a\nkey=v\nz", "^key=(.*)$", "v"},  // newline-sensitive anchors
      {"nothing here", "key=(.*)", std::nullopt},
      {"ab", "a(x)?b", std::nullopt},  // the group took no part
      {"x", "(", std::nullopt},        // does not compile
  };
  for (const auto& [text, pattern, expected] : cases) {
    EXPECT_EQ(util::CopyRegexCaptureFromCFString(text, pattern), expected) << text << " ~ " << pattern;
  }
}

}  // namespace
