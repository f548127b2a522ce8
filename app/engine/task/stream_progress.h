#pragma once
// The download rate and the connection count a file's size deserves.
//
// Rate: every progress tick (0.8 s) takes a sample {total bytes done, time}. The newest 30
// samples (24 s) are kept; each tick fits a least-squares line through the valid ones and
// takes its slope as one rate estimate, and the rate shown is the mean of the newest ten
// estimates. That is smooth on purpose: the scheduler's reserve and split decisions read
// it, and a jumpy rate would make them jumpy. When the total shrinks (ranges discarded
// after a server turned out to send wrong bytes) the fit restarts from one sample, so the
// rate reads 0 instead of a large negative slope.

#include <array>
#include <cstdint>

namespace engine {

inline constexpr int kRateSampleCount = 30;
inline constexpr int kRateEstimatesAveraged = 10;

class RateStatistics {
 public:
  // Takes the sample of one tick and returns the averaged rate in KB/s (1 KB = 1024 bytes).
  float AddSample(std::int64_t totalBytes, double now);
  // Forget the samples (after a pause waiting for the user, which must not count as time).
  void Restart() { valid_ = 0; }
  int validSamples() const { return valid_; }
  float newestEstimate() const { return estimates_[0]; }

 private:
  std::array<std::int64_t, kRateSampleCount> totals_{};
  std::array<double, kRateSampleCount> times_{};
  std::array<float, kRateSampleCount> estimates_{};
  int valid_ = 0;
};

// Least-squares slope of bytes over time of the first `count` samples (newest first), in
// KB/s; 0 with fewer than two samples or a negative slope.
float EstimateTransferRate(const std::int64_t* totals, const double* times, int count);

// The connection count for a file of `size` bytes: `wanted` lowered to what the size is
// worth (1 below 500 KiB ... 10 from 300000 KiB); a smaller `wanted` is kept.
std::int32_t LimitStreamsForFileSize(std::int32_t wanted, std::int64_t size);

}  // namespace engine
