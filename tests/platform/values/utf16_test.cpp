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
      {"\u00E9", 1},                // é precomposed
      {"e\u0301", 2},               // e + combining acute
      {"\U0001F600", 2},            // U+1F600, a surrogate pair
      {"\U0001F44D\U0001F3FD", 4},  // thumbs up + skin tone modifier
      {"\u65E5\u672C", 2},          // two CJK characters
      {"\xFF", 1},                  // a bad byte reads as U+FFFD
      {"a\xC3", 2},                 // a cut-off sequence too
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
      {"a\U0001F600b", 1, 2, "\U0001F600"},  // the whole pair
      {"a\U0001F600b", 1, 1, ""},            // only the high half asked for
      {"a\U0001F600b", 2, 2, "b"},           // starts on the low half
      {"h\u00E9llo", 1, 3, "\u00E9ll"},      // one unit for é
      {"abc", 5, 2, ""},                     // past the end
      {"abc", 1, SIZE_MAX, "bc"},            // a length that would overflow
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16Substring(c.text, c.location, c.length), c.expected) << c.text << " " << c.location;
  }
}

TEST(Utf16Test, OffsetsConvertBetweenUnitsAndBytes) {
  const std::string text = "a\U0001F600b";  // bytes 0 | 1-4 | 5; units 0 | 1-2 | 3
  EXPECT_EQ(Utf8OffsetFromUtf16(text, 3), 5u);
  EXPECT_EQ(Utf8OffsetFromUtf16(text, 2), 1u);  // inside the pair: its start
  EXPECT_EQ(Utf8OffsetFromUtf16(text, 9), text.size());
  EXPECT_EQ(Utf16OffsetFromUtf8(text, 5), 3u);
  EXPECT_EQ(Utf16OffsetFromUtf8(text, 3), 1u);
  EXPECT_EQ(Utf16OffsetFromUtf8(text, 99), 4u);
}

TEST(Utf16Test, ConversionRoundTripsAndRepairsBadInput) {
  const std::string text = "x\u00E9\U0001F600";
  EXPECT_EQ(ToUtf16(text), u"x\u00E9\U0001F600");
  EXPECT_EQ(FromUtf16(ToUtf16(text)), text);
  EXPECT_EQ(FromUtf16(std::u16string(1, u'\xD800')), "\uFFFD");
  EXPECT_EQ(SanitizeUtf8("a\xFF!"), "a\uFFFD!");
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
      {"ab\U0001F600", 3, "ab"},         // the pair would be cut
      {"abe\u0301", 3, "ab"},            // the accent stays with its letter
      {"\U0001F44D\U0001F3FDx", 3, ""},  // a modified emoji is one cluster
      {"\U0001F44D\U0001F3FDx", 4, "\U0001F44D\U0001F3FD"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TruncateAtClusterBoundary(c.text, c.max), c.expected) << c.text << " " << c.max;
}

TEST(TextBreakTest, BoundaryAtOrBeforeAnOffset) {
  const std::string text = "abe\u0301f";  // clusters: a | b | e+acute | f
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 3), 2u);
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 4), 4u);
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 0), 0u);
  EXPECT_EQ(ClusterBoundaryAtOrBefore(text, 40), 5u);
}

TEST(TextBreakTest, ByteLimitedTruncationKeepsClusters) {
  EXPECT_EQ(TruncateUtf8BytesAtClusterBoundary("ae\u0301", 3), "a");  // e + accent need 3 bytes
  EXPECT_EQ(TruncateUtf8BytesAtClusterBoundary("ae\u0301", 4), "ae\u0301");
  EXPECT_EQ(TruncateUtf8BytesAtClusterBoundary("\u00E9\u00E9", 3), "\u00E9");
}

}  // namespace
}  // namespace values
