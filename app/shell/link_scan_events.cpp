#include "app/shell/link_scan_events.h"

#include <map>
#include <memory>

#include "app/engine/crawl/crawl_request.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/add_files/add_files_window.h"
#include "app/ui/main_window/status_line.h"
#include "app/util/text/url_utilities.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace shell {
namespace {

// The downloads each running scan added, by scan id: one undo step when it ends.
std::map<std::string, std::unique_ptr<queue::DownloadUndoGrouping>>& Batches() {
  static std::map<std::string, std::unique_ptr<queue::DownloadUndoGrouping>> batches;
  return batches;
}

std::shared_ptr<ui::AddFilesController> ControllerOf(const runtime::Event& event) {
  return event.GetObject<ui::AddFilesController>(engine::kLinkScanParamWindow);
}

}  // namespace

std::string LinkScanResultMessage(std::int32_t result) {
  if (result == 200 || result <= 1) return {};
  if (result == 404) return values::Localized("An error of type 404 occurred: the file could not be found.");
  if (result == 530) return values::Localized("An error of type 530 occurred: authentication failed.");
  if (result == 403) return values::Localized("An error of type 403 occurred: access is forbidden.");
  return values::Format(values::Localized("An error of type %ld occurred."),
                        {static_cast<std::int64_t>(result)});
}

runtime::Status LinkScanResultsEvent(const runtime::Event& event) {
  const std::string id = event.Get<std::string>(engine::kLinkScanParamID).value_or("");
  const std::string page = event.Get<std::string>(engine::kLinkScanParamPageURL).value_or("");
  const values::Array* urls = nullptr;
  if (const auto* list = event.Find<values::Value>(runtime::kParamDirectObject)) urls = list->AsArray();
  const values::Dictionary* sizes = nullptr;
  if (const auto* s = event.Find<values::Value>(engine::kLinkScanParamSizes)) sizes = s->AsDictionary();
  const std::int64_t count = urls ? static_cast<std::int64_t>(urls->size()) : 0;
  if (auto controller = ControllerOf(event))
    ui::AddFilesWindowAppendStatus(
        *controller, values::Format(values::Localized("URL: %@ %ld links found\n"), {page, count}));
  if (!urls || urls->empty()) return runtime::kNoErr;

  const std::int32_t connections = event.Get<std::int32_t>(engine::kLinkScanParamConnections).value_or(0);
  const bool preserve = event.Get<bool>(engine::kLinkScanParamPreserve).value_or(false);
  std::optional<values::Bytes> destination;
  if (const auto* folder = event.Find<runtime::FileRef>(engine::kLinkScanParamFolder))
    destination = queue::MakeAliasBytes(files::FileRef(folder->path));
  auto& batch = Batches()[id];
  if (!batch) batch = std::make_unique<queue::DownloadUndoGrouping>("Add %d Downloads from URL");

  // The scan's end registers the undo step for all of them.
  queue::TruvaneUndoDisableRegistration();
  for (const values::Value& item : *urls) {
    const std::string text = item.StringOr("");
    const std::optional<values::Url> url = values::Url::Create(text);
    if (!url || !url->Host()) continue;
    queue::AddDownloadRequest request;
    std::string plain = text;
    if (url->User() && url->Password()) {
      const std::optional<std::string> without = util::CopyURLStringWithoutUserInfo(*url);
      if (!without) continue;
      plain = *without;
      request.useAuth = true;
      request.user = url->User();
      request.password = url->Password();
    }
    values::Dictionary entry;
    entry.emplace("url", values::Value(plain));
    entry.emplace("referer", values::Value(page));
    request.urlEntries = values::Array{values::Value(std::move(entry))};
    request.connections = connections;
    request.destination = destination;
    request.updateList = true;
    request.saveCredentials = false;
    request.batchID = id;
    const queue::DownloadUID uid = queue::AddDownload(request);
    if (uid == 0) continue;
    queue::WrapperRef wrapper = queue::LookUpDownloadWrapper(uid);
    if (!wrapper) continue;
    if (preserve) {
      const std::optional<values::Url> parent = url->DeletingLastPathComponent();
      wrapper->setRelativeLocation(url->Host().value_or("") + (parent ? parent->Path() : std::string("/")));
    }
    if (sizes)
      if (auto it = sizes->find(text); it != sizes->end() && it->second.AsNumber())
        wrapper->setFileSize(it->second.AsNumber()->AsInt64());
    batch->addDownload(wrapper);
  }
  queue::TruvaneUndoEnableRegistration();
  queue::MarkQueueDirty();
  ui::RefreshStatusBar();
  return runtime::kNoErr;
}

runtime::Status LinkScanFinishedEvent(const runtime::Event& event) {
  const std::string id = event.Get<std::string>(engine::kLinkScanParamID).value_or("");
  const std::int32_t result = event.Get<std::int32_t>(engine::kLinkScanParamResult).value_or(0);
  if (auto controller = ControllerOf(event)) {
    ui::AddFilesWindowCleanUp(*controller, id);
    const std::string message = LinkScanResultMessage(result);
    if (message.empty())
      ui::AddFilesWindowAppendStatus(*controller, values::Localized("kScanForURLsComplete"));
    else
      ui::AddFilesWindowShowAlert(*controller, message);
  }
  // Ending the grouping registers the still queued downloads as one undoable step.
  Batches().erase(id);
  return runtime::kNoErr;
}

}  // namespace shell
