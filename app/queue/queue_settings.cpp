#include "app/queue/queue_settings.h"

#include <utility>

namespace queue {
namespace {

std::function<QueueSettings()>& Provider() {
  static std::function<QueueSettings()> provider;
  return provider;
}

}  // namespace

void SetQueueSettingsProvider(std::function<QueueSettings()> provider) { Provider() = std::move(provider); }

QueueSettings CurrentQueueSettings() {
  const auto& provider = Provider();
  return provider ? provider() : QueueSettings{};
}

}  // namespace queue
