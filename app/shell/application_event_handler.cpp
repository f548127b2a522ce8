#include "app/shell/application_event_handler.h"

#include "app/engine/crawl/crawl_request.h"
#include "app/engine/log/transfer_log.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/application_commands.h"
#include "app/shell/application_services.h"
#include "app/shell/dock_menu.h"
#include "app/shell/link_scan_events.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/small_windows/server_activity_window.h"
#include "app/util/helpers/task_helpers.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/desktop/notifier.h"
#include "platform/toolbox/app/command.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace shell {
namespace {

using values::FourCC;

constexpr values::FourCharCode kParamUID = FourCC("QUid");
constexpr values::FourCharCode kParamFileName = FourCC("Fnam");
constexpr values::FourCharCode kParamUserName = FourCC("Unam");
constexpr values::FourCharCode kParamAddress = FourCC("IP__");
constexpr values::FourCharCode kParamTransferID = FourCC("ID__");

std::string StringParam(const runtime::Event& event, values::FourCharCode code) {
  const std::string* s = event.Find<std::string>(code);
  return s ? *s : std::string();
}

std::optional<std::uint32_t> UInt32Param(const runtime::Event& event, values::FourCharCode code) {
  if (const auto* v = event.Find<std::uint32_t>(code)) return *v;
  return std::nullopt;
}

void Notify(const char* name, const char* title, const char* description, const ui::ServerTransfer& t) {
  desktop::Notice notice;
  notice.applicationName = "Truvane";
  notice.name = name;
  notice.title = values::Localized(title);
  notice.description = values::Format(values::Localized(description), {t.file, t.user, t.ip});
  desktop::NotifierSlot::Get().Post(notice);
}

runtime::Status FileServerEvent(const runtime::Event& event) {
  const auto id = UInt32Param(event, kParamTransferID);
  if (!id) return runtime::kNoErr;
  if (event.kind() == kFileServerTransferStarted) {
    if (util::ReadSetting(util::kShowActivityOnStartKey)) ui::ShowServerActivityWindow();
    ui::ServerTransfer transfer{StringParam(event, kParamFileName), StringParam(event, kParamUserName),
                                StringParam(event, kParamAddress)};
    ui::RecordServerTransfer(*id, transfer);
    Notify("Remote user started download", "File serving started", "%@ being sent to %@@%@", transfer);
    return runtime::kNoErr;
  }
  auto it = ui::ServerTransfers().find(*id);
  if (it == ui::ServerTransfers().end()) return runtime::kNoErr;
  Notify("Remote user finished download", "File serving finished", "%@  sent to %@@%@", it->second);
  ui::EndServerTransfer(*id);
  return runtime::kNoErr;
}

runtime::Status RevealNewDownload(const runtime::Event& event) {
  ui::SetShowDownloadPending(false);
  auto& list = ui::MainListServicesSlot::Get();
  list.SelectFolderRow(queue::kMyDownloadsViewID);
  const auto uid = UInt32Param(event, kParamUID);
  if (uid && queue::LookUpDownloadWrapper(*uid)) list.RevealDownloadRow(*uid);
  return runtime::kNoErr;
}

bool SimpleMode() {
  return ui::GetMainWindow() ? ui::IsSimpleMode() : !util::CurrentSettings()->advancedMode;
}

}  // namespace

bool IsRevealPending() {
  return ui::IsShowDownloadPending();
}
void SetRevealPending(bool pending) {
  ui::SetShowDownloadPending(pending);
}

runtime::Status ApplicationEventHandler(runtime::HandlerCall&, runtime::Event& event) {
  const values::FourCharCode cls = event.event_class();
  if (cls == toolbox::kEventClassCommand) {
    const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
    if (event.kind() == toolbox::kEventCommandProcess) {
      return ProcessApplicationCommand(command);
    }
    if (event.kind() == toolbox::kEventCommandUpdateStatus) {
      toolbox::CommandStatus status;
      const runtime::Status handled = UpdateApplicationCommandStatus(command, status);
      if (status.enabled) toolbox::SetCommandEnabled(event, *status.enabled);
      if (status.text) toolbox::SetCommandText(event, *status.text);
      return handled;
    }
    return runtime::kEventNotHandledErr;
  }
  if (cls == kEventClassAppl && event.kind() == kEventAppGetDockMenu) {
    event.SetObject(kParamDockMenu, BuildDockMenu(SimpleMode()));
    return runtime::kNoErr;
  }
  if (cls == kEventClassService && event.kind() == kEventServicePerform) return PerformService(event);
  if (cls == util::kEventClassApplication && event.kind() == util::kEventAppLogMessage) {
    // The text goes in as an argument: text from a server is never a format.
    if (const std::string* text = util::LogMessageOfEvent(event))
      engine::LogMessageToGlobalLog(false, "%@", {*text});
    return runtime::kNoErr;
  }
  if (cls == util::kEventClassApplication && event.kind() == kEventAppRevealDownload)
    return RevealNewDownload(event);
  if (cls == engine::kEventClassSaveCertificates && event.kind() == 1) {
    auto [certificates, types] = engine::PermanentCertificateTables();
    util::SetPreferenceValue(engine::kSavedCertsKey, values::Value(std::move(certificates)));
    util::SetPreferenceValue(engine::kSavedCertTypesKey, values::Value(std::move(types)));
    return runtime::kNoErr;
  }
  if (cls == kEventClassActivityRate && event.kind() == 1) {
    if (const auto* sample = event.Find<std::int32_t>(runtime::kParamDirectObject))
      ui::ServerActivitySpeedSample(*sample);
    return runtime::kNoErr;
  }
  if (cls == kEventClassFileServer &&
      (event.kind() == kFileServerTransferStarted || event.kind() == kFileServerTransferEnded))
    return FileServerEvent(event);
  if (cls == engine::kEventClassLinkScan && event.kind() == engine::kLinkScanEventResults)
    return LinkScanResultsEvent(event);
  if (cls == engine::kEventClassLinkScan && event.kind() == engine::kLinkScanEventFinished)
    return LinkScanFinishedEvent(event);
  return runtime::kEventNotHandledErr;
}

runtime::HandlerRef InstallApplicationEventHandler(runtime::EventTarget& target) {
  // The handler dispatches commands through the table: its lines go in first.
  RegisterApplicationCommands();
  return target.InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                                {toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus},
                                {kEventClassAppl, kEventAppGetDockMenu},
                                {kEventClassService, kEventServicePerform},
                                {util::kEventClassApplication, util::kEventAppLogMessage},
                                {util::kEventClassApplication, kEventAppRevealDownload},
                                {engine::kEventClassSaveCertificates, 1},
                                {kEventClassActivityRate, 1},
                                {kEventClassFileServer, kFileServerTransferStarted},
                                {kEventClassFileServer, kFileServerTransferEnded},
                                {engine::kEventClassLinkScan, engine::kLinkScanEventFinished},
                                {engine::kEventClassLinkScan, engine::kLinkScanEventResults}},
                               ApplicationEventHandler);
}

}  // namespace shell
