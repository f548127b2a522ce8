#include "app/util/text/string_utilities.h"

#include <gtest/gtest.h>

namespace {

TEST(CFStringToSInt64, ReadsLikeStrtoll) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"42", 42},
      {"  -17abc", -17},
      {"+8", 8},
      {"abc", 0},
      {"", 0},
      {"12.9", 12},
      {"9223372036854775807", INT64_MAX},
      {"99999999999999999999", INT64_MAX},                   // out of range clamps
      {"0000000000000000000000000000000000000000123", 123},  // long texts are read whole
  };
  for (auto [text, value] : cases) EXPECT_EQ(util::CFStringToSInt64(text), value) << text;
}

TEST(CFStringHasPrefixOrEmpty, EmptyPrefixAlwaysMatches) {
  EXPECT_TRUE(util::CFStringHasPrefixOrEmpty("abc", ""));
  EXPECT_TRUE(util::CFStringHasPrefixOrEmpty("", ""));
  EXPECT_TRUE(util::CFStringHasPrefixOrEmpty("abc", "ab"));
  EXPECT_FALSE(util::CFStringHasPrefixOrEmpty("abc", "b"));
  EXPECT_FALSE(util::CFStringHasPrefixOrEmpty("ab", "abc"));
}

TEST(CreateArrayOfLines, SplitsAtEveryLineBreakTrimsAndDropsEmpties) {
  using L = std::vector<std::string>;
  const std::pair<const char*, L> cases[] = {
      {"a\rb\nc\r\nd", L{"a", "b", "c", "d"}},
      {"  one  \n\n\t two\t", L{"one", "two"}},
      {"x\xE2\x80\xA8y\xE2\x80\xA9z", L{"x", "y", "z"}},  // U+2028, U+2029
      {"\xC2\xA0padded\xE3\x80\x80", L{"padded"}},        // no-break and ideographic spaces
      {"", L{}},
      {" \n \r ", L{}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(util::CreateArrayOfLines(text), lines) << text;
}

TEST(CopyXMLUnescapedString, DecodesThreeEntitiesOneAfterTheOther) {
  EXPECT_EQ(util::CopyXMLUnescapedString("a &amp; b &lt;c&gt;"), "a & b <c>");
  EXPECT_EQ(util::CopyXMLUnescapedString("&amp;lt;"), "<");  // the "&lt;" made by the first pass decodes too
  EXPECT_EQ(util::CopyXMLUnescapedString("&amp;amp;"), "&amp;");  // one pass per entity, not until stable
  EXPECT_EQ(util::CopyXMLUnescapedString("&quot;&#38;"), "&quot;&#38;");
}

TEST(TruncateAtClusterBreak, KeepsShortTextsAndCutsOnWholeClusters) {
  EXPECT_EQ(util::TruncateAtClusterBreak("abc", 3), "abc");
  EXPECT_EQ(util::TruncateAtClusterBreak("abcd", 3), "ab");  // at most max - 1 units
  // "e" + combining acute (2 units) twice: cutting at 3 must not separate the second mark.
  EXPECT_EQ(util::TruncateAtClusterBreak("e\xCC\x81"
                                         "e\xCC\x81"
                                         "x",
                                         4),
            "e\xCC\x81");
  // A surrogate pair (U+1F600) is never split.
  EXPECT_EQ(util::TruncateAtClusterBreak("a\xF0\x9F\x98\x80"
                                         "b",
                                         3),
            "a");
}

TEST(StringCategories, DeletingAndCaseBlindAffixes) {
  EXPECT_EQ(util::StringByDeletingCharactersInSet("a:b/c", values::CharacterSet::FromCharacters(":/")),
            "abc");
  EXPECT_EQ(util::StringByDeletingCharactersInSet("abc", values::CharacterSet::FromCharacters(":")), "abc");
  EXPECT_TRUE(util::TRHasCaseInsensitivePrefix("HTTP://x", "http://"));
  EXPECT_FALSE(util::TRHasCaseInsensitivePrefix("see http://x", "http://"));  // anchored at the start
  EXPECT_TRUE(util::TRHasCaseInsensitiveSuffix("Archive.ZIP", ".zip"));
  EXPECT_FALSE(util::TRHasCaseInsensitiveSuffix("a.zip.txt", ".zip"));
  EXPECT_FALSE(util::TRHasCaseInsensitivePrefix("abc", ""));
}

}  // namespace
