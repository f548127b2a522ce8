#include <gtest/gtest.h>

#include "app/engine/task/download_file_name.h"
#include "app/engine/task/stream_progress.h"

namespace {

struct SizeCase {
  std::int64_t size;
  std::int32_t wanted;
  std::int32_t expected;
};

TEST(LimitStreamsForFileSizeTest, SizeCapsTheConnections) {
  const SizeCase cases[] = {
      {511999, 10, 1},     {512000, 10, 2},   {2047999, 10, 2},
      {2048000, 10, 3},    {10240000, 10, 5}, {400LL * 1000 * 1000, 10, 10},
      {5LL << 30, 10, 10}, {512000, 1, 1},    {307199999, 10, 9},
      {307200000, 10, 10}, {153600000, 3, 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::LimitStreamsForFileSize(c.wanted, c.size), c.expected) << c.size << " bytes";
  }
}

TEST(RateStatisticsTest, SteadyTransferReadsItsRate) {
  engine::RateStatistics stats;
  float rate = 0;
  for (int i = 0; i < 20; ++i) rate = stats.AddSample(i * 102400LL, i * 1.0);  // 100 KB/s
  EXPECT_NEAR(rate, 100.0f, 0.01f);
}

TEST(RateStatisticsTest, ShrinkingTotalRestartsFromOneSample) {
  engine::RateStatistics stats;
  stats.AddSample(0, 0);
  stats.AddSample(100000, 1);
  EXPECT_GT(stats.newestEstimate(), 0);
  stats.AddSample(50000, 2);
  EXPECT_EQ(stats.validSamples(), 1);
  EXPECT_EQ(stats.newestEstimate(), 0.0f);
}

TEST(RateStatisticsTest, TooFewSamplesOrFallingBytesReadZero) {
  const std::int64_t totals[] = {100, 200};
  const double times[] = {1, 0};
  EXPECT_EQ(engine::EstimateTransferRate(totals, times, 1), 0.0f);
  const std::int64_t falling[] = {100, 200};
  const double forward[] = {2, 1};
  EXPECT_EQ(engine::EstimateTransferRate(falling, forward, 2), 0.0f);
}

struct NameCase {
  const char* proposed;
  std::optional<std::string> expected;
};

TEST(SanitizeServerFileNameTest, NamesStayInsideTheFolder) {
  const NameCase cases[] = {
      {"report.pdf", "report.pdf"}, {"../../.bashrc", "bashrc"},
      {"/etc/passwd", "passwd"},    {"a\\..\\b.txt", "b.txt"},
      {"...hidden", "hidden"},      {"..", std::nullopt},
      {".", std::nullopt},          {"dir/", std::nullopt},
      {"", std::nullopt},           {"  spaced.zip  ", "spaced.zip"},
      {"tab\there", "tab_here"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine::SanitizeServerFileName(c.proposed), c.expected) << c.proposed;
  }
  const std::string longName = std::string(300, 'x') + ".bin";
  EXPECT_EQ(engine::SanitizeServerFileName(longName)->size(), engine::kMaxFileNameBytes);
  // A cut never splits a character: 200 two-byte letters are cut to 127 of them.
  std::string accents;
  for (int i = 0; i < 200; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(engine::SanitizeServerFileName(accents)->size(), 254u);
}

}  // namespace
