#include "app/engine/network/socket_buffer.h"

#include <sys/socket.h>

#include <algorithm>

#include "app/engine/limits/bandwidth_presets.h"
#include "app/engine/limits/limit_settings.h"

namespace engine {

std::optional<int> StreamSocketBufferSize(bool limitOn, std::int64_t bytesPerSecond,
                                          std::int32_t wantedConnections, int factor) {
  // The "unlimited" preset is a rate too, and would set a buffer of gigabytes.
  if (!limitOn || bytesPerSecond <= 0 ||
      bytesPerSecond >= static_cast<std::int64_t>(kUnlimitedBytesPerSecond)) {
    return std::nullopt;
  }
  const std::int64_t share =
      static_cast<std::int64_t>(factor) * bytesPerSecond / std::max<std::int32_t>(1, wantedConnections);
  const std::int64_t size = std::max(kMinSocketReceiveBuffer, share);
  if (size > kMaxSocketReceiveBuffer) return std::nullopt;
  return static_cast<int>(size);
}

std::optional<int> SetStreamSocketBuffer(int descriptor, const DownloadFacts& download, int factor) {
  if (descriptor < 0) return std::nullopt;
  const auto size = StreamSocketBufferSize(IsBandwidthLimitOn(TransferDirection::kDownload),
                                           BandwidthLimitBytesPerSecond(TransferDirection::kDownload),
                                           download.wantedConnections, factor);
  if (!size) return std::nullopt;
  const int value = *size;
  if (::setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &value, sizeof value) != 0) return std::nullopt;
  return size;
}

}  // namespace engine
