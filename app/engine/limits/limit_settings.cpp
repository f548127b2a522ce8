#include "app/engine/limits/limit_settings.h"

#include <string>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/util/settings/bandwidth_settings.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace engine {
namespace {

std::atomic<runtime::QueueId> gDownloadLimiter{0};
std::atomic<runtime::QueueId> gUploadLimiter{0};
std::atomic<bool> gStatisticsWanted{false};
std::atomic<runtime::QueueId> gStatisticsQueue{0};

std::atomic<runtime::QueueId>& Limiter(TransferDirection direction) {
  return direction == TransferDirection::kDownload ? gDownloadLimiter : gUploadLimiter;
}

util::BandwidthLimit& LimitOf(util::Settings& s, TransferDirection direction) {
  return direction == TransferDirection::kDownload ? s.downloadBandwidth : s.uploadBandwidth;
}

util::BandwidthLimit CurrentLimit(TransferDirection direction) {
  const std::shared_ptr<const util::Settings> s = util::CurrentSettings();
  return direction == TransferDirection::kDownload ? s->downloadBandwidth : s->uploadBandwidth;
}

void SetBandwidthLimit(TransferDirection direction, bool notifyLimiter, std::int32_t bytesPerSecond) {
  if (notifyLimiter) {
    if (const runtime::QueueId limiter = LimiterQueue(direction)) {
      runtime::NotifyQueue(limiter, static_cast<runtime::Word>(std::max<std::int32_t>(bytesPerSecond, 0)), 0,
                           static_cast<runtime::Word>(LimiterMessage::kSetRate));
    }
  }
  util::ChangeSettings([&](util::Settings& s) { LimitOf(s, direction).limit = bytesPerSecond; });
  const util::BandwidthLimit limit = CurrentLimit(direction);
  const util::BandwidthKeyPair& pair =
      direction == TransferDirection::kDownload ? util::kDownloadBandwidthKeys : util::kUploadBandwidthKeys;
  util::WriteLiveBandwidthLimit(pair, limit);
}

}  // namespace

bool IsBandwidthLimitOn(TransferDirection direction) {
  return CurrentLimit(direction).status;
}

void SetBandwidthLimitOn(TransferDirection direction, bool on) {
  util::ChangeSettings([&](util::Settings& s) { LimitOf(s, direction).status = on; });
}

std::int32_t BandwidthLimitBytesPerSecond(TransferDirection direction) {
  return CurrentLimit(direction).limit;
}

runtime::QueueId LimiterQueue(TransferDirection direction) {
  return Limiter(direction).load();
}
void SetLimiterQueue(TransferDirection direction, runtime::QueueId queue) {
  Limiter(direction).store(queue);
}

bool StatisticsWanted() {
  return gStatisticsWanted.load();
}
void SetStatisticsWanted(bool wanted) {
  const bool was = gStatisticsWanted.exchange(wanted);
  if (!wanted || was) return;
  // A limiter that sleeps while idle must tick again so the graph gets its samples of
  // quiet seconds too: an empty report wakes it and changes nothing else.
  for (TransferDirection d : {TransferDirection::kDownload, TransferDirection::kUpload}) {
    if (runtime::QueueId q = LimiterQueue(d)) ReportBandwidth(q, 0, 0);
  }
}
runtime::QueueId StatisticsQueue() {
  return gStatisticsQueue.load();
}
void SetStatisticsQueue(runtime::QueueId queue) {
  gStatisticsQueue.store(queue);
}

void SetDownloadBandwidthLimit(bool notifyLimiter, std::int32_t bytesPerSecond) {
  SetBandwidthLimit(TransferDirection::kDownload, notifyLimiter, bytesPerSecond);
}

void SetUploadBandwidthLimit(bool notifyLimiter, std::int32_t bytesPerSecond) {
  SetBandwidthLimit(TransferDirection::kUpload, notifyLimiter, bytesPerSecond);
}

}  // namespace engine
