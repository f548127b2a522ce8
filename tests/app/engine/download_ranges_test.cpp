#include "app/engine/task/download_ranges.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using engine::LongRange;
using engine::RangeList;

namespace {

std::string Show(const RangeList& list) {
  std::string s = "[";
  for (const LongRange& r : list)
    s += "{" + std::to_string(r.location) + "," + std::to_string(r.length) + "}";
  return s + "]";
}

// The done-list invariant: sorted, positive lengths, neither overlapping nor touching.
bool IsDoneList(const RangeList& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].length <= 0 || list[i].location < 0) return false;
    if (i > 0 && list[i - 1].End() >= list[i].location) return false;
  }
  return true;
}

struct MergeCase {
  const char* name;
  RangeList before;
  LongRange merged;
  RangeList after;
};

}  // namespace

TEST(DownloadRanges, MergeTable) {
  const MergeCase cases[] = {
      {"EmptyListTakesRange", {}, {0, 100}, {{0, 100}}},
      {"TouchingBehindJoins", {{0, 100}}, {100, 50}, {{0, 150}}},
      {"TouchingInFrontJoins", {{100, 50}}, {0, 100}, {{0, 150}}},
      {"GapStaysSeparate", {{0, 150}}, {200, 50}, {{0, 150}, {200, 50}}},
      {"BridgeJoinsBoth", {{0, 150}, {200, 50}}, {140, 70}, {{0, 250}}},
      {"CoveredLeavesListAlone", {{0, 100}}, {10, 20}, {{0, 100}}},
      {"CoverSwallowsAll", {{10, 20}, {50, 10}}, {0, 300}, {{0, 300}}},
      {"InsertedInOrder", {{0, 10}, {100, 10}}, {50, 10}, {{0, 10}, {50, 10}, {100, 10}}},
      {"OverlapExtendsLast", {{0, 10}, {100, 10}}, {105, 20}, {{0, 10}, {100, 25}}},
      {"AppendedAtEnd", {{0, 10}}, {20, 5}, {{0, 10}, {20, 5}}},
      {"ZeroLengthIgnored", {{0, 10}}, {20, 0}, {{0, 10}}},
      {"NegativeLocationIgnored", {{0, 10}}, {-5, 20}, {{0, 10}}},
      {"OpenEndIgnored", {{0, 10}}, {20, engine::kOpenEndLength}, {{0, 10}}},
  };
  for (const MergeCase& c : cases) {
    RangeList list = c.before;
    engine::MergeRangeIntoList(list, c.merged);
    EXPECT_EQ(list, c.after) << c.name << ": got " << Show(list);
  }
}

TEST(DownloadRanges, RandomMergesKeepInvariantAndCoverExactlyTheWrittenBytes) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 200; ++round) {
    RangeList list;
    std::vector<bool> written(400, false);
    for (int k = 0; k < 12; ++k) {
      const std::int64_t loc = std::uniform_int_distribution<int>(0, 380)(rng);
      const std::int64_t len = std::uniform_int_distribution<int>(1, 400 - static_cast<int>(loc))(rng);
      engine::MergeRangeIntoList(list, {loc, len});
      for (std::int64_t b = loc; b < loc + len; ++b) written[static_cast<std::size_t>(b)] = true;
      ASSERT_TRUE(IsDoneList(list)) << Show(list);
    }
    std::vector<bool> covered(400, false);
    for (const LongRange& r : list)
      for (std::int64_t b = r.location; b < r.End(); ++b) covered[static_cast<std::size_t>(b)] = true;
    ASSERT_EQ(covered, written) << Show(list);
  }
}

TEST(DownloadRanges, NormalizingGivesTheListOfMergingOneByOne) {
  std::mt19937 rng(777);
  for (int round = 0; round < 300; ++round) {
    RangeList given;
    const int count = std::uniform_int_distribution<int>(0, 20)(rng);
    for (int k = 0; k < count; ++k) {
      // Some ranges that are not written bytes, which both must drop.
      const std::int64_t loc = std::uniform_int_distribution<int>(-20, 380)(rng);
      const std::int64_t len = std::uniform_int_distribution<int>(-2, 60)(rng);
      given.push_back({loc, len});
    }
    given.push_back({std::numeric_limits<std::int64_t>::max() - 5, 10});  // end would overflow
    RangeList merged;
    for (const LongRange& r : given) engine::MergeRangeIntoList(merged, r);
    RangeList normalized = given;
    engine::NormalizeRangeList(normalized);
    ASSERT_EQ(normalized, merged) << "from " << Show(given);
    ASSERT_TRUE(IsDoneList(normalized));
  }
}

TEST(DownloadRanges, StreamProgressMergesFromTheStreamStart) {
  RangeList done{{0, 1000}};
  engine::MergeStreamProgressIntoRanges({5000, engine::kOpenEndLength}, 250, done);
  EXPECT_EQ(done, (RangeList{{0, 1000}, {5000, 250}}));
  engine::MergeStreamProgressIntoRanges({5000, engine::kOpenEndLength}, 0, done);  // nothing yet
  EXPECT_EQ(done, (RangeList{{0, 1000}, {5000, 250}}));
}

TEST(DownloadRanges, SubtractTable) {
  struct Case {
    const char* name;
    RangeList before;
    LongRange cut;
    RangeList after;
  } cases[] = {
      {"InsideRemoved", {{10, 10}, {50, 10}}, {0, 30}, {{50, 10}}},
      {"FrontShortened", {{10, 20}}, {0, 15}, {{15, 15}}},
      {"BackShortened", {{10, 20}}, {25, 100}, {{10, 15}}},
      {"ContainingSplit", {{0, 100}, {200, 5}}, {40, 10}, {{0, 40}, {50, 50}, {200, 5}}},
      {"TouchingUntouched", {{10, 10}}, {20, 5}, {{10, 10}}},
      {"OpenEndCutsToEnd", {{0, 100}, {200, 5}}, {50, engine::kOpenEndLength}, {{0, 50}}},
  };
  for (const Case& c : cases) {
    RangeList list = c.before;
    engine::LongRangeListSubtract(list, c.cut);
    EXPECT_EQ(list, c.after) << c.name << ": got " << Show(list);
  }
}

TEST(DownloadRanges, IntersectionAndDescription) {
  EXPECT_EQ(engine::LongRangeIntersection(0, 10, 10, 5), (LongRange{10, 0}));
  EXPECT_EQ(engine::LongRangeIntersection(0, 10, 20, 5), (LongRange{0, 0}));
  EXPECT_EQ(engine::LongRangeIntersection(0, 10, 5, 50), (LongRange{5, 5}));
  EXPECT_EQ(engine::DescribeLongRange({5000000, 100000}), "LongRange location=5000000 length=100000");
  EXPECT_EQ(engine::SumRangeLengths({{0, 1048576}, {5000000, 100000}}), 1148576);
}

TEST(DownloadRanges, CompletenessTable) {
  struct Case {
    RangeList done;
    bool failed;
    std::int64_t size;
    bool mustKnow;
    bool complete;
  } cases[] = {
      {{{0, 1000}}, false, 1000, true, true},         {{{0, 1000}}, false, 1001, false, false},
      {{{0, 1000}}, false, -1, false, true},          {{{0, 1000}}, false, -1, true, false},
      {{{0, 1000}}, true, 1000, false, false},        {{{1, 999}}, false, 999, false, false},
      {{{0, 10}, {20, 10}}, false, 30, false, false}, {{}, false, 0, false, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(engine::DownloadIsComplete(c.done, c.failed, c.size, c.mustKnow), c.complete) << "case " << i;
  }
}

TEST(DownloadRanges, MissingRangesTable) {
  struct Case {
    RangeList done;
    std::int64_t size;
    RangeList gaps;
  } cases[] = {
      {{}, 1000, {{0, 1000}}},
      {{}, -1, {{0, engine::kOpenEndLength}}},
      {{{0, 1000}}, 1000, {}},
      {{{100, 100}, {500, 100}}, 1000, {{0, 100}, {200, 300}, {600, 400}}},
      {{{0, 100}}, -1, {{100, engine::kOpenEndLength}}},
      {{{0, 100}, {900, 500}}, 1000, {{100, 800}}},
      {{}, 0, {}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(engine::ComputeMissingRanges(cases[i].done, cases[i].size), cases[i].gaps) << "case " << i;
  }
}
