#include "app/sharing/listener/share_port.h"

#include <atomic>
#include <string>

#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/settings_store.h"
#include "platform/values/format.h"

namespace sharing {

std::optional<std::uint16_t> UsableSharePort() {
  const std::uint16_t port = util::CurrentSettings()->sharePort;
  if (port != 0 && port != 65535) return port;
  // -1 before any refusal: a value the port cannot take.
  static std::atomic<std::int32_t> lastRefused{-1};
  if (lastRefused.exchange(port) != port) {
    const std::string why = port == 0 ? "it names no port" : "the file server needs the port above it";
    util::PostLogMessageEvent(
        values::Format("The share port %d cannot be used: %@", {static_cast<int>(port), why}));
  }
  return std::nullopt;
}

}  // namespace sharing
