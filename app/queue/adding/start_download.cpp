#include "app/queue/adding/start_download.h"

#include <algorithm>

#include "app/engine/http/http_response_names.h"
#include "app/engine/log/transfer_log.h"
#include "app/engine/services/download_engine_services.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/events/completion.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/create_items.h"
#include "platform/files/standard_folders.h"
#include "platform/values/clock.h"
#include "platform/values/localize.h"

namespace queue {

std::vector<DownloadUID> gActiveDownloads;

namespace {

using HeldHostCounts = std::map<std::string, std::int32_t>;

// Failures before the task exists: the download leaves the queue order first, so the
// scheduler does not start it again at its next tick, then is marked Failed.
void MarkStartFailed(const WrapperRef& wrapper) {
  if (wrapper->status() == kStatusQueued) RemoveFromQueueOrder(wrapper->uid());
  wrapper->setStatus(kStatusFailed);
  MarkQueueDirty();
}

void ReportFileError(files::OSErr code) {
  if (code == files::afpAccessDenied) {
    const std::string text = values::Localized("kDownloadStartPerms");
    ShowQueueMessage(text);
    return;
  }
  ReportQueueFailure("Couldn't create destination file. Error " + std::to_string(code) + ".");
}

std::string JoinedURLs(const values::Array& entries) {
  std::string out;
  for (const auto& entry : entries) {
    const values::Value* url = entry.Find("url");
    if (url == nullptr || !url->IsString()) continue;
    if (!out.empty()) out += "\r";
    out += *url->AsString();
  }
  return out;
}

// The folder a fresh download goes into: its destination, else the default download folder.
std::optional<files::FileRef> DownloadFolderFor(DownloadQueueElement& e, files::OSErr& error) {
  if (auto folder = ResolveAliasField(e.destination)) return folder;
  auto folder = files::FindStandardFolder(files::StandardFolder::kDownloads, true);
  if (!folder.ok()) {
    error = folder.code();
    return std::nullopt;
  }
  return *folder;
}

// A peer's shared item becomes a local download of the same mirrors; nothing when the user
// cancelled the folder choice.
WrapperRef LocalCopyOfPeerItem(const WrapperRef& item, bool& cancelled) {
  const DownloadQueueElement& e = item->element();
  AddDownloadRequest r;
  r.urlEntries = e.urlData;
  r.useAuth = e.useAuth;
  if (!e.authUser.empty()) r.user = e.authUser;
  if (!e.authPassword.empty()) r.password = e.authPassword;
  r.batchID = util::GetSessionUUIDString();
  // One question per pass of the main loop: the items of one command share the answer.
  files::FileRef folder;
  if (util::GetSessionDownloadFolder(folder)) {
    cancelled = true;
    return nullptr;
  }
  files::FileRef defaultFolder;
  const bool haveDefault = util::GetDefaultDownloadFolder(defaultFolder);
  if (!folder.Path().empty() && (!haveDefault || folder != defaultFolder))
    r.destination = MakeAliasBytes(folder);
  WrapperRef local = LookUpDownloadWrapper(AddDownload(r));
  if (local) local->setFileSize(e.fileSize);
  return local;
}

// A name that reached the record by another way than the load (a script, an older
// record kept in memory) is checked once more before it becomes a path.
void CheckFileName(DownloadQueueElement& e) {
  if (auto safe = engine::StoredFileName(e.filename)) {
    if (*safe != e.filename) e.filename = *safe;
  } else {
    e.filename = "temp1";
  }
}

// Resuming: the package of the data file must hold its ranges file.
std::int32_t ReopenPackage(const WrapperRef& wrapper, const files::FileRef& dataFile) {
  const files::Status s = files::CreateFile(dataFile.Parent().Child(kRangesFileName));
  if (!s.ok() && s.code() != files::dupFNErr) {
    ReportFileError(s.code());
    MarkStartFailed(wrapper);
    return s.code();
  }
  return 0;
}

// A fresh start: the package "<name>.partial" in the download folder, holding the empty
// data file and ranges file; the record's alias then names the data file.
std::int32_t MakeFreshPackage(const WrapperRef& wrapper, std::optional<files::FileRef>& dataFile) {
  DownloadQueueElement& e = wrapper->element();
  e.fileAlias.reset();
  files::OSErr folderError = files::noErr;
  const auto folder = DownloadFolderFor(e, folderError);
  if (!folder) {
    ReportQueueFailure("Truvane could not find its download folder. Error " + std::to_string(folderError) +
                       ".");
    MarkStartFailed(wrapper);
    return kStartNoDownloadFolder;
  }
  CheckFileName(e);
  auto package = MakePartialPackage(*folder, e.filename);
  if (!package.ok()) {
    ReportFileError(package.code());
    MarkStartFailed(wrapper);
    return kStartCancelled;
  }
  const files::FileRef data = package->Child(TruncateUTF8(e.filename, 255));
  files::Status s = files::CreateFile(data);
  if (s.ok()) s = files::CreateFile(package->Child(kRangesFileName));
  if (!s.ok()) {
    ReportQueueFailure("Couldn't create destination file. Error " + std::to_string(s.code()) + ".");
    MarkStartFailed(wrapper);
    return kStartCancelled;
  }
  e.fileAlias = MakeAliasBytes(data);
  dataFile = data;
  return 0;
}

// The data file to write: the record's own when its alias resolves, else a new package.
std::int32_t PrepareDataFile(const WrapperRef& wrapper, std::optional<files::FileRef>& dataFile) {
  dataFile = ResolveAliasField(wrapper->element().fileAlias);
  if (dataFile) return ReopenPackage(wrapper, *dataFile);
  return MakeFreshPackage(wrapper, dataFile);
}

// What the task is given: the record's sources, credentials, limits and files. A download
// started again after it completed is a new download of the same file.
std::unique_ptr<engine::DownloadThreadState> MakeTaskState(DownloadQueueElement& e,
                                                           const files::FileRef& dataFile) {
  auto state = std::make_unique<engine::DownloadThreadState>();
  auto stop = std::make_shared<engine::DownloadStopSource>();
  e.stopSource = stop;
  state->stopSource = stop;
  if (e.useAuth && !e.authUser.empty() && !e.authPassword.empty()) {
    state->user = e.authUser;
    state->password = e.authPassword;
  }
  state->urlEntries = e.urlData;
  state->userAgent = util::CurrentSettings()->userAgent;
  state->checksum = e.checksum;
  state->wantedConnections = e.connections;
  state->uid = e.uid;
  state->totalSize = e.fileSize;
  state->sizeKnown = e.fileSize > 0;
  state->flags = e.flags;
  state->priority = e.priority;
  state->taskOption = (e.flags & kFlagTaskOption) != 0;
  state->dataFile = dataFile.Path();
  state->rangesFile = dataFile.Parent().Child(kRangesFileName).Path();
  e.rate = 0;
  e.openConnections = 0;
  e.elapsed = 0;

  engine::URLListRemoveKey(state->urlEntries, "norestarts");
  if (e.status == kStatusCompleted || e.finished) {
    e.completeFile.reset();
    e.completeURL.reset();
    e.duration = 0;
    e.progress = 0;
    for (const char* key : {"fatalError", "dateString", "validated", "useIfRange"}) {
      engine::URLListRemoveKey(state->urlEntries, key);
    }
    state->totalSize = 0;
    state->sizeKnown = false;
  }
  e.returnToQueue = true;
  e.finished = false;
  return state;
}

// Counts the download against the per-host limits; the counts held, to give back should
// the task not start.
HeldHostCounts CountHosts(engine::DownloadThreadState& state) {
  for (const auto& entry : state.urlEntries) {
    if (auto url = engine::EntryURL(entry)) engine::GetHostCounts().IncrementForURL(*url, &state.hostCounts);
  }
  return state.hostCounts;
}

void ShowAsStarting(const WrapperRef& wrapper) {
  const DownloadUID uid = wrapper->uid();
  auto& list = ui::MainListServicesSlot::Get();
  list.AddElementToDownloadsView(wrapper);
  AddElementToListableFolder(kMyDownloadsViewID, wrapper);
  wrapper->setStatus(kStatusStarting);
  wrapper->setStartDate(values::Now());
  list.UpdateDownloadRow(uid);
  list.RefreshTransferLogView(uid);
  // Each run of a download begins with an empty transfer log of its own.
  engine::RefreshTransferLogView(uid, nullptr);
  wrapper->element().failureReason.clear();
}

// Hands the state to the engine; false (the download Failed, the counts given back) when
// no task could be made.
bool LaunchTask(const WrapperRef& wrapper, std::unique_ptr<engine::DownloadThreadState> state,
                const HeldHostCounts& heldCounts) {
  DownloadQueueElement& e = wrapper->element();
  gActiveDownloads.push_back(e.uid);
  e.controller = engine::DownloadEngineServicesSlot::Get().StartDownloadTask(std::move(state));
  if (!e.controller) {
    std::erase(gActiveDownloads, e.uid);
    engine::GetHostCounts().Release(heldCounts);
    e.stopSource.reset();
    ReportQueueFailure("Couldn't start the download of " + e.filename + ".");
    MarkStartFailed(wrapper);
    return false;
  }
  ui::MainListServicesSlot::Get().PostActiveDownloadsChange();
  MarkQueueDirty();
  return true;
}

// The log line, the undo step, the notice and the mini window of a started download.
void AnnounceStart(const WrapperRef& wrapper) {
  DownloadQueueElement& e = wrapper->element();
  auto& list = ui::MainListServicesSlot::Get();
  list.LogMessageToGlobalLog(false, "Download of " + JoinedURLs(e.urlData) + " starting\r");
  RegisterUndoDownloadStarted(wrapper);
  values::Dictionary notice{{"ApplicationName", "Truvane"},
                            {"NotificationName", "Download is starting"},
                            {"NotificationTitle", values::Localized("Download started")},
                            {"NotificationDescription", wrapper->url().value_or(e.filename)}};
  if (e.batchID) notice["GrowlNotificationIdentifier"] = *e.batchID;
  PostQueueNotice(notice);
  list.MiniWindowShowDownloadIfNone(wrapper);
}

}  // namespace

std::int32_t StartDownload(const WrapperRef& given) {
  WrapperRef wrapper = given;
  if (wrapper->status() & kRunningMask) return 0;
  if (wrapper->hostUID() != 0) {
    bool cancelled = false;
    wrapper = LocalCopyOfPeerItem(given, cancelled);
    if (cancelled) return kStartCancelled;
    if (!wrapper) return 0;
  }
  DownloadQueueElement& e = wrapper->element();
  std::optional<files::FileRef> dataFile;
  if (const std::int32_t error = PrepareDataFile(wrapper, dataFile); error != 0) return error;
  WritePartialProperties(e);
  if (e.status == kStatusQueued) RemoveFromQueueOrder(e.uid);

  std::unique_ptr<engine::DownloadThreadState> state = MakeTaskState(e, *dataFile);
  const auto heldCounts = CountHosts(*state);
  ShowAsStarting(wrapper);
  if (!LaunchTask(wrapper, std::move(state), heldCounts)) return kStartNoTask;
  AnnounceStart(wrapper);
  return 0;
}

bool CanStartUnderHostLimits(const DownloadQueueElement& element) {
  const std::shared_ptr<const util::Settings> snapshot = util::CurrentSettings();
  const util::Settings& settings = *snapshot;
  // 0: no limit.
  const std::int32_t fallback =
      settings.limitSimultaneousDownloads ? std::max(settings.maxDomainDownloads, 1) : 0;
  return engine::GetHostCounts().With([&](const std::map<std::string, std::int32_t>& counts) {
    for (const std::string& host : element.domains) {
      auto c = counts.find(host);
      const std::int32_t running = c == counts.end() ? 0 : c->second;
      std::int32_t limit = fallback;
      if (auto exact = settings.domainLimits.find(host); exact != settings.domainLimits.end()) {
        limit = exact->second;
      } else if (!settings.domainLimits.empty()) {
        // ".b.c", then ".c" for a host a.b.c.
        std::string_view rest = host;
        if (!rest.empty() && rest.front() == '.') rest.remove_prefix(1);
        for (auto dot = rest.find('.'); dot != std::string_view::npos; dot = rest.find('.', 1)) {
          rest.remove_prefix(dot);
          if (auto s = settings.domainLimits.find(std::string(rest)); s != settings.domainLimits.end()) {
            limit = s->second;
            break;
          }
        }
      }
      if (limit != 0 && running >= limit) return false;
    }
    return true;
  });
}

}  // namespace queue
