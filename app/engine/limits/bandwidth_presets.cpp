#include "app/engine/limits/bandwidth_presets.h"

namespace engine {
namespace {

constexpr int kPresetKilobytes[kBandwidthPresetCount] = {5,   10,  20,  30,  40,  50,  75,
                                                         100, 150, 200, 300, 500, 750, 1000};

}  // namespace

float BandwidthPresetBytesPerSecond(unsigned index) {
  if (index >= kBandwidthPresetCount) return kUnlimitedBytesPerSecond;
  return static_cast<float>(kPresetKilobytes[index] * 1024);
}

unsigned BandwidthPresetIndexForRate(std::int64_t bytes_per_second) {
  for (unsigned i = 0; i < kBandwidthPresetCount; ++i) {
    if (static_cast<std::int64_t>(kPresetKilobytes[i]) * 1024 >= bytes_per_second) return i;
  }
  return kBandwidthPresetCount - 1;
}

}  // namespace engine
