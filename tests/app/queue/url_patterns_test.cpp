#include "app/queue/adding/url_patterns.h"

#include <gtest/gtest.h>

#include <ostream>

#include <optional>
#include <string>
#include <vector>

namespace queue {
namespace {

using Folders = std::vector<std::optional<std::string>>;

struct ExpansionCase {
  const char* name;
  std::vector<std::string> input;
  std::vector<std::string> urls;
  Folders subfolders;
  friend void PrintTo(const ExpansionCase& c, std::ostream* os) { *os << c.name; }
};

class ExpansionTest : public testing::TestWithParam<ExpansionCase> {};

TEST_P(ExpansionTest, ExpandsAsTyped) {
  const ExpansionCase& c = GetParam();
  const ExpandedURLs out = ExpandURLPatterns(c.input);
  EXPECT_FALSE(out.error.has_value()) << *out.error;
  EXPECT_EQ(out.urls, c.urls);
  EXPECT_EQ(out.subfolders, c.subfolders);
}

const std::nullopt_t none = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Patterns, ExpansionTest,
    testing::Values(
        ExpansionCase{"RangeInFileName",
                      {"http://h/d/file[1-3].zip"},
                      {"http://h/d/file1.zip", "http://h/d/file2.zip", "http://h/d/file3.zip"},
                      {none, none, none}},
        ExpansionCase{"PaddedRangeInFolderNamesSubfolder",
                      {"http://h/part[01-03]/f.zip"},
                      {"http://h/part01/f.zip", "http://h/part02/f.zip", "http://h/part03/f.zip"},
                      {"part01", "part02", "part03"}},
        ExpansionCase{"EqualBoundsAreNoRange", {"http://h/f[5-5].zip"}, {"http://h/f[5-5].zip"}, {none}},
        ExpansionCase{"FallingBoundsAreNoRange", {"http://h/f[9-2].zip"}, {"http://h/f[9-2].zip"}, {none}},
        ExpansionCase{"FallingLettersAreNoRange", {"http://h/f[z-a].zip"}, {"http://h/f[z-a].zip"}, {none}},
        ExpansionCase{"WidthIsTheFirstBoundsDigits",
                      {"http://h/[1-10]"},
                      {"http://h/1", "http://h/2", "http://h/3", "http://h/4", "http://h/5", "http://h/6",
                       "http://h/7", "http://h/8", "http://h/9", "http://h/10"},
                      Folders(10, none)},
        ExpansionCase{"EmptyFirstBoundCountsFromZero",
                      {"http://h/x[-2]"},
                      {"http://h/x0", "http://h/x1", "http://h/x2"},
                      {none, none, none}},
        ExpansionCase{
            "OpenBraceWithoutCloseKeepsEverything", {"http://h/{a/f[1-2]"}, {"http://h/{a/f[1-2]"}, {"{a"}},
        ExpansionCase{"BracesBeforeBracketsDepthFirst",
                      {"http://h/{a,b}[1-2]"},
                      {"http://h/a1", "http://h/a2", "http://h/b1", "http://h/b2"},
                      Folders(4, none)},
        ExpansionCase{"EmptyAlternativeDropsThePiece",
                      {"http://h/f{,-hd}.mov"},
                      {"http://h/f.mov", "http://h/f-hd.mov"},
                      {none, none}},
        ExpansionCase{"OtherBracketTextIsDropped",
                      {"http://h/f[x:1-3 ].txt"},
                      {"http://h/f1.txt", "http://h/f2.txt", "http://h/f3.txt"},
                      Folders(3, none)},
        ExpansionCase{"LetterRange",
                      {"http://h/[a-c].txt"},
                      {"http://h/a.txt", "http://h/b.txt", "http://h/c.txt"},
                      Folders(3, none)},
        ExpansionCase{"PatternInMiddleOfPathSpansComponents",
                      {"http://h/{x,y}/sub/f.zip"},
                      {"http://h/x/sub/f.zip", "http://h/y/sub/f.zip"},
                      {"x/sub", "y/sub"}},
        ExpansionCase{"PlainURLsPassThroughInOrder",
                      {"http://h/a", "ftp://h/b"},
                      {"http://h/a", "ftp://h/b"},
                      {none, none}}),
    [](const testing::TestParamInfo<ExpansionCase>& info) { return info.param.name; });

struct RefusalCase {
  const char* name;
  std::vector<std::string> input;
  friend void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RefusesWithAMessageAndFormsNothing) {
  const ExpandedURLs out = ExpandURLPatterns(GetParam().input);
  ASSERT_TRUE(out.error.has_value());
  EXPECT_FALSE(out.error->empty());
  EXPECT_TRUE(out.urls.empty());
  EXPECT_TRUE(out.subfolders.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, RefusalTest,
    testing::Values(RefusalCase{"HugeRange", {"http://h/f[1-999999999].zip"}},
                    RefusalCase{"BoundOverflowsThirtyTwoBits", {"http://h/f[1-99999999999999999999].zip"}},
                    RefusalCase{"MultipliedRanges", {"http://h/[1-200]/[1-200]"}},
                    RefusalCase{"SpreadOverInputs", std::vector<std::string>(3, "http://h/[1-4000]")}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

TEST(ExpansionBound, ExactlyTheLimitIsAllowed) {
  const ExpandedURLs out = ExpandURLPatterns({"http://h/[1-100]/[1-100]"});
  EXPECT_FALSE(out.error.has_value());
  EXPECT_EQ(out.urls.size(), kMaxExpandedURLs);
  EXPECT_EQ(out.urls.back(), "http://h/100/100");
  EXPECT_EQ(out.subfolders.back(), std::optional<std::string>("100"));
}

}  // namespace
}  // namespace queue
