#include "app/engine/limits/bandwidth_presets.h"

#include <gtest/gtest.h>

namespace {

TEST(BandwidthPresets, RatesAndUnlimitedAboveTheTable) {
  EXPECT_EQ(engine::BandwidthPresetBytesPerSecond(0), 5120.0f);
  EXPECT_EQ(engine::BandwidthPresetBytesPerSecond(7), 102400.0f);
  EXPECT_EQ(engine::BandwidthPresetBytesPerSecond(13), 1024000.0f);
  EXPECT_EQ(engine::BandwidthPresetBytesPerSecond(14), 1073741824.0f);
  EXPECT_EQ(engine::BandwidthPresetBytesPerSecond(20), 1073741824.0f);
}

TEST(BandwidthPresets, IndexIsTheFirstPresetAtLeastTheRate) {
  const std::pair<std::int64_t, unsigned> cases[] = {{0, 0},      {5120, 0},     {5121, 1},    {6000, 1},
                                                     {102400, 7}, {1024000, 13}, {2000000, 13}};
  for (auto [rate, index] : cases) EXPECT_EQ(engine::BandwidthPresetIndexForRate(rate), index) << rate;
}

}  // namespace
