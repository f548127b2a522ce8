#include "platform/values/string_compare.h"

#include <gtest/gtest.h>

namespace values {

void PrintTo(ComparisonResult r, std::ostream* os) {
  *os << static_cast<int>(r);
}

namespace {

constexpr auto kLess = ComparisonResult::kLessThan;
constexpr auto kSame = ComparisonResult::kEqualTo;
constexpr auto kMore = ComparisonResult::kGreaterThan;

struct CompareCase {
  const char* a;
  const char* b;
  CompareOptions options;
  ComparisonResult expected;
};

TEST(StringCompareTest, OptionsChangeTheOrder) {
  const CompareCase cases[] = {
      {"abc", "abd", 0, kLess},
      {"abc", "ABC", 0, kMore},
      {"abc", "ABC", kCaseInsensitive, kSame},
      {"Stra\u00DFe", "STRASSE", kCaseInsensitive, kSame},
      {"ab", "abc", 0, kLess},
      {"", "", 0, kSame},
      {"file2", "file10", 0, kMore},
      {"file2", "file10", kNumeric, kLess},
      {"File2", "file10", kCaseInsensitive | kNumeric, kLess},
      {"file007", "file7", kNumeric, kSame},
      {"a10b2", "a10b10", kNumeric, kLess},
      {"file\u0663", "file10", kNumeric, kLess},  // Arabic-Indic digit three
      {"\u00E9", "e\u0301", 0, kMore},            // precomposed vs decomposed, literally
      {"\u00E9", "e\u0301", kNonliteral, kSame},
      {"r\u00E9sum\u00E9", "resume", kDiacriticInsensitive, kSame},
      {"R\u00E9sum\u00E9", "resume", kCaseInsensitive | kDiacriticInsensitive, kSame},
      {"\u0130", "i\u0307", kCaseInsensitive, kSame},  // İ folds the same in every language
      {"I", "\u0131", kCaseInsensitive, kLess},        // dotless ı is not i
      // Literal order is UTF-16 order: U+FFFF sorts after U+1F600 (whose first unit is
      // U+D83D), though its UTF-8 bytes sort before.
      {"\uFFFF", "\U0001F600", 0, kMore},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareStrings(c.a, c.b, c.options), c.expected)
        << c.a << " vs " << c.b << " options " << c.options;
    const auto reversed = static_cast<ComparisonResult>(-static_cast<int>(c.expected));
    EXPECT_EQ(CompareStrings(c.b, c.a, c.options), reversed) << c.b << " vs " << c.a;
  }
}

TEST(StringCompareTest, NaturalOrderSortsNumberedNames) {
  std::vector<std::string> names = {"part10.rar", "Part2.rar", "part1.rar", "part02b.rar", "part100.rar"};
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return CompareStrings(a, b, kCaseInsensitive | kNumeric) == ComparisonResult::kLessThan;
  });
  EXPECT_EQ(names,
            (std::vector<std::string>{"part1.rar", "Part2.rar", "part02b.rar", "part10.rar", "part100.rar"}));
}

struct FindCase {
  const char* text;
  const char* needle;
  CompareOptions options;
  std::optional<Utf16Range> expected;
};

TEST(StringCompareTest, FindReportsUtf16RangesOfTheOriginal) {
  const FindCase cases[] = {
      {"Hello World", "o", 0, Utf16Range{4, 1}},
      {"Hello World", "o", kBackwards, Utf16Range{7, 1}},
      {"Hello World", "WORLD", kCaseInsensitive, Utf16Range{6, 5}},
      {"Hello World", "World", kAnchored, std::nullopt},
      {"Hello World", "World", kAnchored | kBackwards, Utf16Range{6, 5}},
      {"Hello World", "Hello", kAnchored | kBackwards, std::nullopt},
      {"Hello", "", 0, std::nullopt},
      {"", "a", 0, std::nullopt},
      {"a\U0001F600b\U0001F600", "\U0001F600", kBackwards, Utf16Range{4, 2}},
      {"stra\u00DFe", "SS", kCaseInsensitive, Utf16Range{4, 1}},              // ß matches as a whole
      {"stra\u00DFe", "s", kCaseInsensitive | kBackwards, Utf16Range{0, 1}},  // never half of ß
      {"cafe\u0301", "cafe", 0, Utf16Range{0, 4}},
      {"cafe\u0301", "cafe", kNonliteral, std::nullopt},  // the accent belongs to the e
      {"caf\u00E9", "cafe", kDiacriticInsensitive, Utf16Range{0, 4}},
      {"cafe\u0301 au lait", "cafe", kDiacriticInsensitive, Utf16Range{0, 5}},
      {"R\u00E9sum\u00E9.pdf", "RESUME", kCaseInsensitive | kDiacriticInsensitive, Utf16Range{0, 6}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindString(c.text, c.needle, c.options), c.expected) << c.text << " / " << c.needle;
  }
}

TEST(StringCompareTest, FindWithinARange) {
  EXPECT_EQ(FindString("abcabc", "abc", Utf16Range{1, 5}, 0), (Utf16Range{3, 3}));
  EXPECT_EQ(FindString("abcabc", "abc", Utf16Range{1, 4}, 0), std::nullopt);
  EXPECT_EQ(FindString("abcabc", "abc", Utf16Range{0, 6}, kBackwards), (Utf16Range{3, 3}));
  EXPECT_EQ(FindAllStrings("a.b.c", "."), (std::vector<Utf16Range>{{1, 1}, {3, 1}}));
}

TEST(StringCompareTest, PrefixAndSuffix) {
  EXPECT_TRUE(HasSuffix("download.ZIP", ".zip", kCaseInsensitive));
  EXPECT_FALSE(HasSuffix("download.ZIP", ".zip"));
  EXPECT_TRUE(HasPrefix("Stra\u00DFe 1", "STRASSE", kCaseInsensitive));
  EXPECT_FALSE(HasPrefix("abc", "abcd"));
  EXPECT_FALSE(HasPrefix("abc", ""));  // the empty prefix is no prefix
  EXPECT_FALSE(HasSuffix("abc", ""));
  EXPECT_TRUE(HasPrefix("http://host", "HTTP://", kCaseInsensitive));
  EXPECT_FALSE(HasPrefix("xhttp://", "http://", kCaseInsensitive));
}

struct ReplaceCase {
  const char* text;
  const char* target;
  const char* replacement;
  CompareOptions options;
  const char* expected;
  std::size_t count;
};

TEST(StringCompareTest, ReplaceAllMatches) {
  const ReplaceCase cases[] = {
      {"a-b-c", "-", "+", 0, "a+b+c", 2},
      {"&amp;lt;", "&amp;", "&", 0, "&lt;", 1},
      {"Hello hello HELLO", "hello", "bye", kCaseInsensitive, "bye bye bye", 3},
      {"aaa", "aa", "b", 0, "ba", 1},
      {"x\U0001F600y\U0001F600", "\U0001F600", "!", 0, "x!y!", 2},
      {"none", "x", "y", 0, "none", 0},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(ReplaceAll(text, c.target, c.replacement, c.options), c.count) << c.text;
    EXPECT_EQ(text, c.expected);
  }
}

}  // namespace
}  // namespace values
