// The hand-off events: URLs to download ('AUrl', 'GURL', 'OURL'), documents to open
// ('odoc') and files to upload ('STRa').

#include <cctype>

#include "app/browser/services/favourite_connections_service.h"
#include "app/engine/http/cookie_string.h"
#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/engine/urls/url_list.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/events/completion.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/shell/scripting_suite.h"
#include "app/shell/scripting_suite_internal.h"
#include "app/shell/user_messages.h"
#include "app/ui/services/application_windows_service.h"
#include "app/ui/services/main_list_services.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/util/files/file_names.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/url_utilities.h"
#include "platform/files/catalog_info.h"
#include "platform/files/folder_iterator.h"
#include "platform/values/ascii.h"
#include "platform/values/clock.h"

namespace shell {
namespace {

using appleevents::AppleEvent;
using appleevents::Descriptor;
using appleevents::Status;
using scripting::kDirect;
using values::FourCC;

// A hand-off repeated within this time of the last one is dropped.
constexpr double kRepeatWindow = 200.0;
// A download started less than this ago is taken to be the same hand-off again.
constexpr double kRecentStartWindow = 30.0;
// Bit 0 of a download's flags: the user chose its name.
constexpr std::int16_t kUserChosenName = 1;
// Downloads an add-URL window may add further sources to.
constexpr queue::DownloadStatus kAddURLTargetMask = 0x5F1;
// Why an item was not added when the parser found no URL in it (the add window's text).
constexpr const char kNoURLInItemMessage[] = "The url entered is invalid.";

// A hand-off that refused some of its input says why in the reply's error: a script then
// learns the reason (the sender prints it), where a reply of "0" alone says nothing. The
// answer, when there is one, stays in the reply.
void ReplyRefusals(AppleEvent& reply, const std::vector<std::string>& reasons) {
  if (reasons.empty()) return;
  std::string text;
  for (const std::string& reason : reasons) {
    if (text.find(reason) != std::string::npos) continue;
    if (!text.empty()) text += "\n";
    text += reason;
  }
  reply.SetError(appleevents::kParamErr, text);
}

struct HandOffState {
  std::optional<values::Array> lastList;
  double lastTime = 0;
  std::string droppedRefererHost = "download.apple.com";
};

HandOffState& State() {
  static HandOffState state;
  return state;
}

bool EndsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::optional<std::string> RefererFor(const std::optional<std::string>& referer) {
  if (!referer) return std::nullopt;
  const std::string& host = State().droppedRefererHost;
  if (!host.empty() && referer->find(host) != std::string::npos && EndsWith(*referer, "index.html")) {
    return std::nullopt;
  }
  return referer;
}

// Whether the item repeats a hand-off: the last one within the repeat window, or a
// download of the queue started a moment ago (whose start date then moves to now).
bool IsRepeatedHandOff(const values::Array& entries, double now) {
  HandOffState& state = State();
  if (state.lastList) {
    if (now - state.lastTime >= kRepeatWindow) {
      state.lastList.reset();
    } else if (engine::URLListsAreEqual(entries, *state.lastList)) {
      return true;
    }
  }
  queue::WrapperRef recent;
  {
    std::lock_guard lock(queue::gQueueItemsLock);
    for (auto it = queue::gQueueItems.rbegin(); it != queue::gQueueItems.rend(); ++it) {
      const queue::WrapperRef& w = it->second;
      if (now - w->startDate() < kRecentStartWindow && engine::URLListsAreEqual(w->URLData(), entries)) {
        recent = w;
        break;
      }
    }
  }
  if (!recent) return false;
  recent->setStartDate(now);
  return true;
}

bool AnyAddURLTarget() {
  return !queue::CopyElementsWithStatus(kAddURLTargetMask).empty();
}

Status HandleAddURLEvent(const AppleEvent& event, AppleEvent& reply) {
  Descriptor items;
  if (event.GetParam(kDirect, appleevents::types::kList, items) != appleevents::kNoErr || !items.IsList()) {
    // Nothing to add; the reply says so with an empty list.
    scripting::Reply(reply, Descriptor::List());
    return appleevents::kNoErr;
  }
  Descriptor answer = Descriptor::List();
  queue::TruvaneUndoDisableRegistration();

  const std::optional<bool> startQueue = scripting::BoolParam(event, FourCC("Stqu"));
  queue::WrapperRef target;
  if (scripting::BoolParam(event, FourCC("Sepa")).value_or(false)) {
    if (auto quid = scripting::UInt32Param(event, FourCC("Quid")))
      target = queue::LookUpDownloadWrapper(*quid);
    if (target) answer.Append(Descriptor::UInt32(target->uid()));
  }
  Descriptor cookies;
  const bool haveCookies =
      event.GetParam(FourCC("Co_k"), appleevents::types::kList, cookies) == appleevents::kNoErr &&
      cookies.IsList();

  std::optional<std::string> referer;
  if (auto text = scripting::TextParam(event, FourCC("Refe")))
    referer = util::CreatePercentEscapedString(*text, "", "");
  std::optional<values::Bytes> formData;
  if (const Descriptor* data = event.Parameters().Find(FourCC("Data"));
      data != nullptr && !data->IsList() && !data->IsRecord()) {
    formData = values::Bytes(data->data().begin(), data->data().end());
  }
  std::optional<files::FileRef> folder;
  if (const Descriptor* location = event.Parameters().Find(FourCC("Loca"))) {
    std::string path;
    if (appleevents::GetPath(*location, path) == appleevents::kNoErr) folder = files::FileRef(path);
  }
  const std::string batchID = util::CreateUUIDString();
  auto& windows = ui::ApplicationWindowsServiceSlot::Get();
  MessageCapture shown;
  std::vector<std::string> refusals;

  for (std::size_t n = 0; n < items.Count(); ++n) {
    const std::optional<std::string> text = scripting::TextOf(items.Items()[n]);
    if (!text) continue;
    std::optional<values::Array> entries = engine::ParseURLListCString(*text, RefererFor(referer));
    if (!entries || entries->empty()) {
      refusals.emplace_back(kNoURLInItemMessage);
      continue;
    }

    if (haveCookies && n < cookies.Count()) {
      if (const std::optional<std::string> cookieText = scripting::TextOf(cookies.Items()[n])) {
        if (auto parsed = engine::ParseCookieString(*cookieText)) {
          values::Value& first = (*entries)[0];
          bool differs = false;
          if (auto url = values::Url::Create(first.Find("url") ? first.Find("url")->StringOr("") : "")) {
            differs = engine::CookiesDifferFromStorage(*url, *parsed);
          }
          first.Put("cookie", values::Value(std::move(*parsed)));
          first.Put("java script priority", values::Value(differs));
        }
      }
    }
    if (formData) (*entries)[0].Put("formdata", values::Value(values::Data{*formData}));

    const double now = values::Now();
    if (IsRepeatedHandOff(*entries, now)) continue;
    State().lastList = engine::URLListCopyWithReferer(*entries, std::nullopt);
    State().lastTime = now;

    if (target) {
      queue::AppendURLEntries(*entries, target);
      continue;
    }
    if (windows.IsOptionKeyDown() && AnyAddURLTarget()) {
      windows.BringApplicationToFront();
      windows.ShowAddURLWindow(*entries);
      continue;
    }
    std::optional<std::string> chosenName;
    if (!folder && util::ReadSetting(util::kDownloadModeKey) == util::DownloadMode::kAskWhere) {
      windows.BringApplicationToFront();
      std::string suggested;
      if (auto url =
              values::Url::Create((*entries)[0].Find("url") ? (*entries)[0].Find("url")->StringOr("") : "")) {
        suggested = util::CopyFileNameForURL(*url);
      }
      const ui::SaveDialogAnswer saved = windows.RunSaveDialog(suggested);
      switch (saved.kind) {
        case ui::SaveDialogAnswer::Kind::kCancelled:
          continue;
        case ui::SaveDialogAnswer::Kind::kNotShown:
          // Nobody can be asked (no window): the item goes where "downloadMode" 1 puts it,
          // the default download folder, instead of being dropped.
          break;
        case ui::SaveDialogAnswer::Kind::kChosen:
          folder = files::FileRef(saved.folder);
          // A name typed by the user must still be one safe path component.
          if (saved.name != suggested && util::ValidateFileName(saved.name, false)) chosenName = saved.name;
          break;
      }
    }

    queue::AddDownloadRequest request;
    request.urlEntries = std::move(*entries);
    if (folder) request.destination = queue::MakeAliasBytes(*folder);
    request.batchID = batchID;
    request.select = chosenName.has_value();
    const queue::DownloadUID uid = queue::AddDownload(request);
    for (std::string& message : shown.Take()) {
      if (uid == 0) refusals.push_back(std::move(message));
    }
    if (chosenName && uid != 0) {
      if (auto w = queue::LookUpDownloadWrapper(uid)) {
        w->setFilename(*chosenName);
        w->element().flags |= kUserChosenName;
      }
    }
    answer.Append(Descriptor::Text(std::to_string(uid)));
  }

  ui::MainListServicesSlot::Get().RefreshStatusBar();
  queue::MarkQueueDirty();

  if (startQueue) {
    if (*startQueue && !queue::gQueueRunning) queue::StartQueue();
  } else if (util::CurrentSettings()->autoStartQueue && !queue::gQueueRunning &&
             queue::gQueueRestartAllowed) {
    queue::StartQueue();
  }
  scripting::Reply(reply, std::move(answer));
  ReplyRefusals(reply, refusals);
  if (util::CurrentSettings()->bringToFront) windows.BringApplicationToFront();
  queue::TruvaneUndoEnableRegistration();
  return appleevents::kNoErr;
}

Status HandleGetURLEvent(const AppleEvent& event, AppleEvent& reply) {
  auto text = scripting::TextParam(event, kDirect);
  if (!text) return -108;
  std::optional<values::Array> entries = engine::ParseURLListCString(*text, std::nullopt);
  if (!entries || entries->empty()) {
    ReplyRefusals(reply, {kNoURLInItemMessage});
    return appleevents::kParamErr;
  }
  auto& windows = ui::ApplicationWindowsServiceSlot::Get();
  if (windows.IsOptionKeyDown() && AnyAddURLTarget()) {
    windows.BringApplicationToFront();
    windows.ShowAddURLWindow(*entries);
    return appleevents::kNoErr;
  }
  queue::AddDownloadRequest request;
  request.urlEntries = std::move(*entries);
  queue::TruvaneUndoDisableRegistration();
  MessageCapture shown;
  const queue::DownloadUID uid = queue::AddDownload(request);
  queue::TruvaneUndoEnableRegistration();
  if (uid == 0) ReplyRefusals(reply, shown.Take());
  return appleevents::kNoErr;
}

std::vector<std::string> PathsOfList(const AppleEvent& event) {
  std::vector<std::string> paths;
  Descriptor list;
  if (event.GetParam(kDirect, appleevents::types::kList, list) != appleevents::kNoErr || !list.IsList())
    return paths;
  for (const Descriptor& item : list.Items()) {
    std::string path;
    if (appleevents::GetPath(item, path) == appleevents::kNoErr) paths.push_back(path);
  }
  return paths;
}

Status HandleOpenDocumentsEvent(const AppleEvent& event, AppleEvent&) {
  for (const std::string& path : PathsOfList(event)) {
    const files::FileRef ref(path);
    const std::string name = ref.Name();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) continue;
    const std::string extension = values::AsciiLower(name.substr(dot + 1));
    if (extension == "partial") {
      queue::AddDownloadFromPartialPackage(ref);
    } else if (extension == "download") {
      queue::ImportBrowserDownload(ref);
    } else if (extension == "grx") {
      queue::AddDownloadsFromURLListFile(ref);
    } else if (extension == "metalink") {
      if (queue::CompletionHooksSlot::Get().openMetalinkFile)
        queue::CompletionHooksSlot::Get().openMetalinkFile(ref);
    } else if (extension == "fetchshortcuts") {
      browser::FavouriteConnectionsServiceSlot::Get().ImportFetchShortcuts(path, true);
    }
  }
  return appleevents::kNoErr;
}

}  // namespace

namespace scripting {

// Queues every visible file below the folder for the file-hosting service. Symbolic
// links are not followed, so a link back up the tree cannot make the walk endless.
files::Status EnqueueFolderForUpload(const files::FileRef& folder) {
  auto iterator = files::FolderIterator::Open(folder);
  if (!iterator.ok()) return iterator.status();
  std::vector<files::FolderEntry> entries;
  files::Status status;
  for (;;) {
    entries.clear();
    status = iterator.value().ReadBulk(50, entries);
    if (!status.ok() && entries.empty()) break;
    for (const files::FolderEntry& entry : entries) {
      if (entry.info.hidden || (!entry.name.empty() && entry.name.front() == '.')) continue;
      if (entry.info.is_symlink) continue;
      if (entry.info.IsFile()) {
        upload::UploadHandoffServiceSlot::Get().EnqueueRapidShareFile(entry.ref.Path());
      } else if (entry.info.IsFolder()) {
        EnqueueFolderForUpload(entry.ref);
      }
    }
  }
  return status;
}

void InstallHandOffHandlers(appleevents::HandlerTable& t) {
  t.Install(kSuiteClass, FourCC("AUrl"), HandleAddURLEvent);
  t.Install(FourCC("GURL"), FourCC("GURL"), HandleGetURLEvent);
  t.Install(FourCC("WWW!"), FourCC("OURL"), HandleGetURLEvent);
  t.Install(appleevents::kCoreEventClass, FourCC("odoc"), HandleOpenDocumentsEvent);
  t.Install(kSuiteClass, FourCC("STRa"), [](const AppleEvent& event, AppleEvent&) -> Status {
    for (const std::string& path : PathsOfList(event)) {
      auto info = files::GetCatalogInfo(files::FileRef(path));
      if (!info.ok()) continue;
      if (info.value().IsFile()) {
        upload::UploadHandoffServiceSlot::Get().EnqueueRapidShareFile(path);
      } else if (info.value().IsFolder()) {
        EnqueueFolderForUpload(files::FileRef(path));
      }
    }
    return appleevents::kNoErr;
  });
}

}  // namespace scripting

void SetDroppedRefererHost(std::string host) {
  State().droppedRefererHost = std::move(host);
}

void ResetScriptingSuiteState() {
  State().lastList.reset();
  State().lastTime = 0;
}

}  // namespace shell
