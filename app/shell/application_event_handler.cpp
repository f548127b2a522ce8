#include "app/shell/application_event_handler.h"

#include "app/engine/log/transfer_log.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/settings_store.h"

namespace shell {

runtime::Status ApplicationEventHandler(runtime::HandlerCall& call, runtime::Event& event) {
  if (event.event_class() == util::kEventClassApplication && event.kind() == util::kEventAppLogMessage) {
    // The text goes in as an argument: text from a server is never a format.
    if (const std::string* text = util::LogMessageOfEvent(event))
      engine::LogMessageToGlobalLog(false, "%@", {*text});
    return runtime::kNoErr;
  }
  if (event.event_class() == engine::kEventClassSaveCertificates && event.kind() == 1) {
    auto [certificates, types] = engine::PermanentCertificateTables();
    util::SetPreferenceValue(engine::kSavedCertsKey, values::Value(std::move(certificates)));
    util::SetPreferenceValue(engine::kSavedCertTypesKey, values::Value(std::move(types)));
    return runtime::kNoErr;
  }
  return runtime::kEventNotHandledErr;
}

runtime::HandlerRef InstallApplicationEventHandler(runtime::EventTarget& target) {
  return target.InstallHandler(
      {{util::kEventClassApplication, util::kEventAppLogMessage}, {engine::kEventClassSaveCertificates, 1}},
      ApplicationEventHandler);
}

}  // namespace shell
