#include "app/engine/limit_settings.h"

#include "app/engine/bandwidth_limiter.h"

namespace engine {
namespace {

struct DirectionState {
  std::atomic<bool> on{false};
  std::atomic<std::int32_t> bytesPerSecond{0};
  std::atomic<runtime::QueueId> limiter{0};
};

DirectionState& State(TransferDirection direction) {
  static DirectionState download;
  static DirectionState upload;
  return direction == TransferDirection::kDownload ? download : upload;
}

std::atomic<bool> gStatisticsWanted{false};
std::atomic<runtime::QueueId> gStatisticsQueue{0};

}  // namespace

bool IsBandwidthLimitOn(TransferDirection direction) {
  return State(direction).on.load();
}
void SetBandwidthLimitOn(TransferDirection direction, bool on) {
  State(direction).on.store(on);
}
std::int32_t BandwidthLimitBytesPerSecond(TransferDirection direction) {
  return State(direction).bytesPerSecond.load();
}

runtime::QueueId LimiterQueue(TransferDirection direction) {
  return State(direction).limiter.load();
}
void SetLimiterQueue(TransferDirection direction, runtime::QueueId queue) {
  State(direction).limiter.store(queue);
}

bool StatisticsWanted() {
  return gStatisticsWanted.load();
}
void SetStatisticsWanted(bool wanted) {
  gStatisticsWanted.store(wanted);
}
runtime::QueueId StatisticsQueue() {
  return gStatisticsQueue.load();
}
void SetStatisticsQueue(runtime::QueueId queue) {
  gStatisticsQueue.store(queue);
}

}  // namespace engine
