#include "app/queue/events/completion.h"

#include <chrono>
#include <thread>

#include "app/engine/log/transfer_log.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/folders/view_ids.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/util/desktop/sound_bridges.h"
#include "app/util/files/unique_move.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/http_dates.h"
#include "app/util/text/url_utilities.h"
#include "platform/desktop/notifier.h"
#include "platform/files/alias.h"
#include "platform/files/catalog_info.h"
#include "platform/files/create_items.h"
#include "platform/files/tree_ops.h"
#include "platform/files/xattr.h"
#include "platform/values/clock.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace queue {
namespace {

constexpr files::OSErr kDiffVolErr = -1303;
constexpr files::OSErr kFileBusyErr = -47;

// The text of a URL without its user information; the text as it was when it does not parse.
std::string WithoutUserInfo(const std::string& text) {
  auto url = values::Url::Create(text);
  if (!url) return text;
  return util::CopyURLStringWithoutUserInfo(*url).value_or(text);
}

std::optional<files::FileRef> ResolveFolderAlias(const values::Bytes& bytes) {
  auto record = files::AliasFromBytes(bytes);
  if (!record.ok()) return std::nullopt;
  auto resolved = files::ResolveAlias(record.value());
  if (!resolved.ok() || !files::IsFolder(resolved.value().ref)) return std::nullopt;
  return resolved.value().ref;
}

// Components of a relative location that stay below the folder they are taken in: a
// location comes from the URL entries ("relativePath"), which a crawled page or metalink
// chose, so "..", "." and empty components are dropped rather than followed.
std::optional<std::string> SafeRelativePath(const std::string& location) {
  std::string out;
  std::size_t start = 0;
  while (start <= location.size()) {
    std::size_t end = location.find('/', start);
    if (end == std::string::npos) end = location.size();
    const std::string part = location.substr(start, end - start);
    if (!part.empty() && part != "." && part != "..") {
      if (!files::ValidateItemName(part).ok()) return std::nullopt;
      if (!out.empty()) out += '/';
      out += part;
    }
    start = end + 1;
  }
  if (out.empty()) return std::nullopt;
  return out;
}

// The folder of the relative path below `base`, made with its missing levels.
std::optional<files::FileRef> MakeRelativeFolder(const files::FileRef& base, const std::string& location) {
  auto relative = SafeRelativePath(location);
  if (!relative) return std::nullopt;
  files::FileRef folder = base;
  std::size_t start = 0;
  while (start <= relative->size()) {
    std::size_t end = relative->find('/', start);
    if (end == std::string::npos) end = relative->size();
    folder = folder.Child(relative->substr(start, end - start));
    if (!files::IsFolder(folder)) {
      if (files::Exists(folder) || !files::CreateFolder(folder).ok()) return std::nullopt;
    }
    start = end + 1;
  }
  return folder;
}

// The last entry with a "dateString" that parses as an HTTP date wins.
std::optional<values::AbsoluteTime> ServerDate(const values::Array& entries) {
  std::optional<values::AbsoluteTime> date;
  for (const values::Value& entry : entries) {
    const values::Value* text = entry.Find("dateString");
    if (text == nullptr || !text->IsString()) continue;
    if (auto parsed = util::ParseHTTPDate(*text->AsString())) date = parsed;
  }
  return date;
}

void DeleteEmptiedPartialPackage(const files::FileRef& package, const std::string& fileName) {
  const std::string name = package.Name();
  constexpr std::string_view kSuffix = ".partial";
  if (name.size() < kSuffix.size() ||
      name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return;
  }
  if (files::Exists(package.Child(fileName)) || !files::Exists(package.Child("downloadInfo"))) return;
  // A file still held open somewhere reports busy; two short waits let it go.
  for (auto wait :
       {std::chrono::milliseconds(0), std::chrono::milliseconds(20), std::chrono::milliseconds(100)}) {
    if (wait.count() > 0) std::this_thread::sleep_for(wait);
    const files::Status status = files::DeleteTree(package);
    if (status.code() != kFileBusyErr) return;
  }
}

struct WhenDoneState {
  std::shared_ptr<runtime::Timer> timer;
  std::shared_ptr<runtime::RunLoop> loop;
};

WhenDoneState& WhenDone() {
  static WhenDoneState state;
  return state;
}

std::int64_t SizeForStatistics(const DownloadQueueElement& e) {
  // A size that stayed unknown (0 or all ones) would count nothing or subtract a byte.
  return e.fileSize > 0 ? e.fileSize : std::max<std::int64_t>(e.progress, 0);
}

}  // namespace

void SetFinderComment(const files::FileRef& file, const std::string& urlList) {
  std::string comment;
  std::size_t start = 0;
  while (start <= urlList.size()) {
    std::size_t end = urlList.find('\r', start);
    if (end == std::string::npos) end = urlList.size();
    if (!comment.empty()) comment += '\r';
    comment += WithoutUserInfo(urlList.substr(start, end - start));
    start = end + 1;
  }
  files::SetStringAttribute(file, files::kCommentAttribute, comment);
}

void SetOriginURL(const files::FileRef& file, const std::string& url) {
  if (url.empty()) return;
  files::SetStringAttribute(file, files::kOriginURLAttribute, WithoutUserInfo(url));
}

void PostQueueNotice(const values::Dictionary& notice) {
  auto text = [&](const char* key) -> std::optional<std::string> {
    auto it = notice.find(key);
    if (it == notice.end() || !it->second.IsString()) return std::nullopt;
    return *it->second.AsString();
  };
  desktop::Notice n;
  n.applicationName = text("ApplicationName").value_or("Truvane");
  n.name = text("NotificationName").value_or("");
  n.title = text("NotificationTitle").value_or("");
  n.description = text("NotificationDescription").value_or("");
  n.clickContext = text("NotificationClickContext");
  n.identifier = text("GrowlNotificationIdentifier");
  desktop::NotifierSlot::Get().Post(n);
}

void NotifyAllDownloadsComplete() {
  PostQueueNotice({{"ApplicationName", "Truvane"},
                   {"NotificationName", "All Downloads Finished"},
                   {"NotificationTitle", values::Localized("All downloads complete")}});
}

void CompleteDownload(const WrapperRef& wrapper, files::FileRef& file) {
  DownloadQueueElement& e = wrapper->element();
  const std::string urlList = CopyElementURLList(e);
  if (file.empty() || !files::Exists(file)) return;
  const std::string dataName = file.Name();
  const files::FileRef package = file.Parent();

  e.finished = true;

  files::FileRef defaultFolder;
  const bool haveDefault = util::GetDefaultDownloadFolder(defaultFolder);
  std::optional<files::FileRef> folder;
  if (haveDefault) folder = defaultFolder;
  std::optional<files::FileRef> own = e.destination ? ResolveFolderAlias(*e.destination) : std::nullopt;
  if (own && (!haveDefault || *own != defaultFolder)) {
    folder = own;
  } else if (CompletionHooksSlot::Get().filterDestination) {
    if (auto filtered = CompletionHooksSlot::Get().filterDestination(dataName)) folder = filtered;
  }
  if (folder && e.relativeLocation) {
    if (auto below = MakeRelativeFolder(*folder, *e.relativeLocation)) folder = below;
  }

  if (folder) {
    files::FileRef moved;
    files::OSErr err = util::MoveAndRenameUnique(file, *folder, dataName, &moved);
    if (err == kDiffVolErr && haveDefault)
      err = util::MoveAndRenameUnique(file, defaultFolder, dataName, &moved);
    if (err == kDiffVolErr) err = util::MoveAndRenameUnique(file, package.Parent(), dataName, &moved);
    if (err == 0) file = moved;
  }

  if (auto date = ServerDate(e.urlData)) {
    files::SetModificationTime(file, files::FileTime::FromDate(values::Date{*date}));
  }

  if (auto alias = files::MakeAlias(file); alias.ok()) e.completeFile = files::AliasToBytes(alias.value());
  if (auto url = values::FileUrlFromPath(file.Path(), false)) e.completeURL = *url;
  e.fileAlias.reset();
  ++e.downloadCount;

  SetFinderComment(file, urlList);

  constexpr std::string_view kMetalink = ".metalink";
  const bool metalink =
      e.filename.size() >= kMetalink.size() &&
      e.filename.compare(e.filename.size() - kMetalink.size(), kMetalink.size(), kMetalink) == 0;
  if (metalink) {
    if (CompletionHooksSlot::Get().openMetalinkFile) CompletionHooksSlot::Get().openMetalinkFile(file);
  } else {
    ApplyFileTypeAndPostProcess(file, true, dataName, e.filename, e.uid);
  }

  if (CompletionHooksSlot::Get().addToHistory) CompletionHooksSlot::Get().addToHistory(wrapper);

  engine::LogMessageToGlobalLog(false, values::Localized("Download of %@ complete\r"), {urlList});

  const std::int64_t bytes = SizeForStatistics(e);
  std::int64_t filesTotal = 0, bytesTotal = 0;
  util::ChangeSettings([&](util::Settings& s) {
    filesTotal = ++s.filesTransferred;
    bytesTotal = (s.bytesTransferred += bytes);
  });
  util::SetPreferenceValue(kFilesTransferredKey, values::Value(values::Number::Int64(filesTotal)));
  util::SetPreferenceValue(kBytesTransferredKey, values::Value(values::Number::Int64(bytesTotal)));

  if (e.completionType != 0) PerformCompletionAction(e.completion, e.completionType);

  const double now = values::Now();
  e.endDate = now;
  if (WrapperRef listed = LookUpDownloadWrapper(e.uid)) listed->setEndDate(now);

  DeleteEmptiedPartialPackage(package, dataName);

  SetOriginURL(file, wrapper->url().value_or(""));
  if (CompletionHooksSlot::Get().writeElementMetadata)
    CompletionHooksSlot::Get().writeElementMetadata(wrapper, file);

  // The finishing download has already left the active list.
  if (!gActiveDownloads.empty()) {
    util::PlayDownloadSound();
  } else if (!gQueueRunning || gQueuedCount == 0) {
    if (!util::PlayQueueSound()) util::PlayDownloadSound();
    NotifyAllDownloadsComplete();
  } else {
    util::PlayDownloadSound();
  }

  if (util::ReadSetting(util::kRemoveWhenKey) == util::RemoveFinished::kWhenFinished) {
    RemoveDownloads({e.uid}, {kMyDownloadsViewID}, false, false);
    ui::MainListServicesSlot::Get().RefreshStatusBar();
  } else {
    MarkQueueDirty();
  }
}

std::int64_t WhenDoneDelaySeconds() {
  return std::max<std::int64_t>(util::ReadSetting(util::kInactivityTimerDurationKey), 4);
}

void ArmWhenDoneCheck(bool stopped, runtime::RunLoop* loop) {
  WhenDoneState& state = WhenDone();
  const auto delay = std::chrono::seconds(WhenDoneDelaySeconds());
  if (state.timer) {
    state.timer->SetNextFireIn(delay);
    return;
  }
  if (stopped) return;
  state.loop = loop != nullptr ? loop->shared_from_this() : runtime::RunLoop::Main();
  state.timer = runtime::Timer::Create(delay, runtime::Nanoseconds(0),
                                       [](runtime::Timer&) { CheckPostDownloadAction(); });
  state.loop->AddTimer(state.timer);
}

std::shared_ptr<runtime::Timer> PendingWhenDoneTimer() {
  return WhenDone().timer;
}

void CancelWhenDoneCheck() {
  WhenDoneState& state = WhenDone();
  if (state.timer) state.timer->Invalidate();
  state.timer.reset();
  state.loop.reset();
}

void CheckPostDownloadAction() {
  CancelWhenDoneCheck();
  if (upload::UploadHandoffServiceSlot::Get().CountActiveUploads() > 0) return;
  if (!gActiveDownloads.empty()) return;
  if (sharing::PeerHostsServiceSlot::Get().RunningUploadServers() > 0) return;
  if (gUploadQueueRunning && upload::UploadQueueServiceSlot::Get().WaitingCount() > 0) return;
  if (gQueueRunning && gQueuedCount > 0) return;
  if (!util::ReadSetting(util::kTakeActionWhenDoneKey)) return;
  RunPostDownloadAction(static_cast<std::int32_t>(util::ReadSetting(util::kPostDownloadActionKey)));
}

}  // namespace queue
