#include "app/ui/mini_window/mini_window_rules.h"

#include "app/queue/record/download_status.h"
#include "platform/values/format.h"

namespace ui {

double SnapMiniWindowWidth(double w, bool narrowAtStart) {
  const double collapseAt = narrowAtStart ? 139 : 279;
  if (w <= collapseAt) return kMiniCompactWidth;
  if (w < kMiniFullWidth) return kMiniFullWidth;
  return w;
}

MiniButtons MiniWindowButtonsFor(std::optional<std::int32_t> status) {
  if (!status) return {};
  if (*status == queue::kStatusDownloading) return {false, true, false};
  return {true, false, true};
}

std::string MiniWindowRateText(double rate) {
  if (rate < 10) return values::Format("%.1f K", {rate});
  if (rate < 1000) return values::Format("%.0f K", {rate});
  if (rate < 10000) return values::Format("%.1f M", {rate / 1024});
  return values::Format("%.0f M", {rate / 1024});
}

std::optional<std::string> LCDTimeLeftText(float rate, std::int64_t size, std::int64_t done) {
  if (!(rate > 0.2f) || size <= 0) return std::nullopt;
  const auto seconds =
      static_cast<long>(static_cast<double>(size - done) / (static_cast<double>(rate) * 1024));
  if (seconds < 60) return values::Format("-%lds", {seconds});
  if (seconds < 3600) return values::Format("-%ld:%.2ld", {seconds / 60, seconds % 60});
  return values::Format("-%ld:%.2ld:%.2ld", {seconds / 3600, (seconds % 3600) / 60, seconds % 60});
}

}  // namespace ui
