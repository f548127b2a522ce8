#include "app/engine/task/stream_progress.h"

#include <algorithm>

namespace engine {

float EstimateTransferRate(const std::int64_t* totals, const double* times, int count) {
  if (count < 2) return 0;
  // Times relative to the oldest valid sample keep the sums small and exact enough.
  const double origin = times[count - 1];
  double sumT = 0, sumB = 0, sumTT = 0, sumTB = 0;
  for (int i = 0; i < count; ++i) {
    const double t = times[i] - origin;
    const double b = static_cast<double>(totals[i]);
    sumT += t;
    sumB += b;
    sumTT += t * t;
    sumTB += t * b;
  }
  const double n = count;
  const double denominator = n * sumTT - sumT * sumT;
  if (denominator <= 0) return 0;
  const double slope = (n * sumTB - sumT * sumB) / denominator;
  if (slope < 0) return 0;
  return static_cast<float>(slope / 1024.0);
}

float RateStatistics::AddSample(std::int64_t totalBytes, double now) {
  for (int i = kRateSampleCount - 1; i > 0; --i) {
    totals_[i] = totals_[i - 1];
    times_[i] = times_[i - 1];
    estimates_[i] = estimates_[i - 1];
  }
  valid_ = std::min(valid_ + 1, kRateSampleCount);
  totals_[0] = totalBytes;
  times_[0] = now;
  if (valid_ >= 2 && totalBytes < totals_[1]) valid_ = 1;
  estimates_[0] = EstimateTransferRate(totals_.data(), times_.data(), valid_);
  const int averaged = std::min(valid_, kRateEstimatesAveraged);
  double sum = 0;
  for (int i = 0; i < averaged; ++i) sum += estimates_[i];
  return averaged > 0 ? static_cast<float>(sum / averaged) : 0.0f;
}

std::int32_t LimitStreamsForFileSize(std::int32_t wanted, std::int64_t size) {
  // Below each limit (in KiB) a file is worth at most the paired count: splitting a small
  // file costs more in handshakes than it gains.
  struct Step {
    std::int64_t belowKiB;
    std::int32_t atMost;
  };
  static constexpr Step kSteps[] = {{500, 1},    {2000, 2},   {6000, 3},   {10000, 4}, {20000, 5},
                                    {100000, 6}, {150000, 7}, {200000, 8}, {300000, 9}};
  std::int32_t limit = 10;
  for (const Step& step : kSteps) {
    if (size < step.belowKiB * 1024) {
      limit = step.atMost;
      break;
    }
  }
  return std::min(wanted, limit);
}

}  // namespace engine
