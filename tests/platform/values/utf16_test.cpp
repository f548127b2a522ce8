#include "platform/values/utf16.h"

#include <gtest/gtest.h>

#include "platform/values/text_break.h"

namespace values {
namespace {

struct LengthCase {
  const char* text;
  std::size_t units;
};

TEST(Utf16Test, LengthCountsUtf16Units) {
  const LengthCase cases[] = {
      {"", 0},
      {"abc", 3},
      {"\xC3\xA9", 1},                  // é precomposed
      {"e\xCC\x81", 2},                 // e + combining acute
      {"\xF0\x9F\x98\x80", 2},          // U+1F600, a surrogate pair
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 4},  // thumbs up + skin tone modifier
      {"\xE6\x97\xA5\xE6\x9C\xAC", 2},  // two CJK characters
      {"\xFF", 1},                      // a bad byte reads as U+FFFD
      {"a\xC3", 2},                     // a cut-off sequence too
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16Length(c.text), c.units) << c.text;
}

struct SubstringCase {
  const char* text;
  std::size_t location;
  std::size_t length;
  const char* expected;
};

TEST(Utf16Test, SubstringByUtf16RangeNeverSplitsAPair) {
  const SubstringCase cases[] = {
      {"a\xF0\x9F\x98\x80" "b", 1, 2, "\xF0\x9F\x98\x80"},
      {"a\xF0\x9F\x98\x80" "b", 1, 1, ""},   // only the high half asked for
      {"a\xF0\x9F\x98\x80" "b", 2, 2, "b"},  // starts on the low half
      {"h\xC3\xA9llo", 1, 3, "\xC3\xA9ll"},
      {"abc", 5, 2, ""},
      {"abc", 1, SIZE_MAX, "bc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16Substring(c.text, c.location, c.length), c.expected) << c.text << " " << c.location;
  }
}

TEST(Utf16Test, OffsetsConvertBetweenUnitsAndBytes) {
  const std::string text = "a\xF0\x9F\x98\x80" "b";  // bytes 0 | 1-4 | 5; units 0 | 1-2 | 3
  EXPECT_EQ(Utf8OffsetFromUtf16(text, 3), 5u);
  EXPECT_EQ(Utf8OffsetFromUtf16(text, 2), 1u);  // inside the pair: its start
  EXPECT_EQ(Utf8OffsetFromUtf16(text, 9), text.size());
  EXPECT_EQ(Utf16OffsetFromUtf8(text, 5), 3u);
  EXPECT_EQ(Utf16OffsetFromUtf8(text, 3), 1u);
  EXPECT_EQ(Utf16OffsetFromUtf8(text, 99), 4u);
}

TEST(Utf16Test, ConversionRoundTripsAndRepairsBadInput) {
  const std::string text = "x\xC3\xA9\xF0\x9F\x98\x80";
  EXPECT_EQ(ToUtf16(text), u"x\u00E9\U0001F600");
  EXPECT_EQ(FromUtf16(ToUtf16(text)), text);
  EXPECT_EQ(FromUtf16(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(SanitizeUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_TRUE(IsValidUtf8(text));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));  // overlong NUL
}

struct TruncateCase {
  const char* text;
  std::size_t max;
  const char* expected;
};

TEST(TextBreakTest, TruncationEndsOnAWholeCluster) {
  const TruncateCase cases[] = {
      {"abcde", 3, "abc"},
      {"abc", 10, "abc"},
      {"ab\xF0\x9F\x98\x80", 3, "ab"},             // the pair would be cut
      {"abe\xCC\x81", 3, "ab"},                    // the accent stays with its letter
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBDx", 3, ""},  // a modified emoji is one cluster
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBDx", 4, "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(TruncateAtClusterBoundary(c.text, c.max), c.expected) << c.text << " " << c.max;
}

TEST(TextBreakTest, BoundaryAtOrBeforeAnOffset) {
  const std::string text = "abe\xCC\x81" "f";  // clusters: a | b | e+acute | f
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 3), 2u);
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 4), 4u);
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 0), 0u);
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 40), 5u);
}

TEST(TextBreakTest, ByteLimitedTruncationKeepsClusters) {
  EXPECT_EQ(TruncateUtf8BytesAtClusterBoundary("ae\xCC\x81", 3), "a");  // e + accent need 3 bytes
  EXPECT_EQ(TruncateUtf8BytesAtClusterBoundary("ae\xCC\x81", 4), "ae\xCC\x81");
  EXPECT_EQ(TruncateUtf8BytesAtClusterBoundary("\xC3\xA9\xC3\xA9", 3), "\xC3\xA9");
}

}  // namespace
}  // namespace values
