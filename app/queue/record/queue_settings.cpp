#include "app/queue/record/queue_settings.h"

#include <utility>

#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"

namespace queue {
namespace {

std::function<QueueSettings()>& Provider() {
  static std::function<QueueSettings()> provider;
  return provider;
}

QueueSettings FromSettingsStore() {
  const std::shared_ptr<const util::Settings> s = util::CurrentSettings();
  QueueSettings q;
  q.defaultPorts = s->defaultPorts;
  q.encryptQueue = util::ReadSetting(util::kEncryptQueueKey);
  q.useErrorLog = s->useErrorLog;
  q.limitSimultaneousDownloads = s->limitSimultaneousDownloads;
  q.maxDomainDownloads = s->maxDomainDownloads;
  q.domainLimits.insert(s->domainLimits.begin(), s->domainLimits.end());
  q.switchMain = s->switchMain;
  q.userAgent = s->userAgent;
  q.downloadsStopWithQueue = s->downloadsStopWithQueue;
  return q;
}

}  // namespace

void SetQueueSettingsProvider(std::function<QueueSettings()> provider) {
  Provider() = std::move(provider);
}

QueueSettings CurrentQueueSettings() {
  const auto& provider = Provider();
  return provider ? provider() : FromSettingsStore();
}

}  // namespace queue
