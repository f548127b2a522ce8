#pragma once
// The fixed list of bandwidth limits the menus and the mini window offer. Index 14 and
// above mean "no limit", given as 1 GiB per second so that the limiter's arithmetic
// needs no special case.

#include <cstdint>

namespace engine {

inline constexpr unsigned kBandwidthPresetCount = 14;
inline constexpr float kUnlimitedBytesPerSecond = 1073741824.0f;

// Bytes per second of a preset (5 KB/s ... 1000 KB/s, 1 KB = 1024 bytes).
float BandwidthPresetBytesPerSecond(unsigned index);

// The first preset whose rate is at least `bytes_per_second`; the last preset (13) when
// none is.
unsigned BandwidthPresetIndexForRate(std::int64_t bytes_per_second);

}  // namespace engine
