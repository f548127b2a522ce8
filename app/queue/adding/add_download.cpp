#include "app/queue/adding/add_download.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "app/engine/urls/url_list.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_order.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/record/url_passwords.h"
#include "app/queue/undo/undoable_action.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/files/file_names.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/string_utilities.h"
#include "platform/files/create_items.h"
#include "platform/files/file_handle.h"
#include "platform/files/rename.h"
#include "platform/toolbox/app/application.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/values/ascii.h"
#include "platform/values/clock.h"
#include "platform/values/plist.h"
#include "platform/values/utf16.h"

namespace queue {
namespace {

bool EntriesAreWellFormed(const values::Array& entries) {
  return std::all_of(entries.begin(), entries.end(), [](const values::Value& e) {
    return e.IsDictionary() && engine::EntryURL(e).has_value();
  });
}

std::string FilenameForEntries(const values::Array& entries) {
  auto url = engine::EntryURL(entries.front());
  return url ? util::CopyFileNameForURL(*url) : std::string("index.html");
}

}  // namespace

DownloadUID AddDownload(const AddDownloadRequest& r) {
  if (r.urlEntries.empty() || !EntriesAreWellFormed(r.urlEntries)) return 0;
  if (!engine::URLListSchemesAreSupported(r.urlEntries)) {
    ShowQueueMessage(kUnsupportedSchemeMessage);
    return 0;
  }
  const std::shared_ptr<const util::Settings> snapshot = util::CurrentSettings();
  const util::Settings& settings = *snapshot;

  DownloadQueueElement e;
  // A copy: the caller's list and the record must not change each other.
  e.urlData = r.urlEntries;
  e.filename = FilenameForEntries(e.urlData);
  values::Array hosts;
  engine::URLListCopyHostNames(e.urlData, hosts);
  for (const auto& h : hosts) {
    if (h.IsString()) e.domains.push_back(*h.AsString());
  }
  e.useAuth = r.useAuth;
  e.authUser = r.user.value_or("");
  e.authPassword = r.password.value_or("");
  e.completionType = r.completionType;
  e.completion = r.completionAction;
  e.destination = r.destination;
  e.priority = r.priority;
  e.batchID = r.batchID;
  if (r.saveCredentials && r.useAuth && r.user && r.password) {
    if (auto& store = QueueHooksSlot::Get().storeCredentials) {
      for (const values::Value& entry : e.urlData) {
        if (auto url = engine::EntryURL(entry); url && url->Host()) store(*url, *r.user, *r.password);
      }
    }
  }
  e.connections = r.connections < 0 ? 1 : r.connections > 32 ? 32 : r.connections;
  if (e.connections == 0) e.connections = std::clamp(settings.defaultPorts, 1, 32);
  e.historyPosition = -1;
  e.startDate = values::Now();
  e.status = kStatusQueued;
  e.foldersContainedIn = {kMyDownloadsViewID};
  if (const values::Value* relative = e.urlData.front().Find("relativePath");
      relative && relative->IsString()) {
    e.relativeLocation = *relative->AsString();
  }

  WrapperRef wrapper;
  {
    std::lock_guard lock(gQueueItemsLock);
    // A UID that another download already has would replace it: draw a new one instead.
    e.uid = r.uid != 0 && gQueueItems.count(r.uid) == 0 ? r.uid : NewDownloadUID();
    e.queuePosition = static_cast<std::int32_t>(gQueueOrder.size()) + 1;
    gQueueOrder.push_back(e.uid);
    gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
    wrapper = DownloadQueueWrapper::CreateWithCopy(e);
    QueueItemsSet(e.uid, wrapper);
  }
  AddElementToListableFolder(kMyDownloadsViewID, wrapper);

  auto& hooks = QueueHooksSlot::Get();
  if (hooks.noteElementChanged) hooks.noteElementChanged(wrapper, kChangedAll);
  RegisterUndoDownloadAdded(wrapper);
  if (r.queuePosition > 0) MoveElementToQueuePosition(wrapper, r.queuePosition);

  auto& list = ui::MainListServicesSlot::Get();
  if (r.updateList) {
    list.MiniWindowShowDownload(wrapper);
    if (list.IsLibraryViewShown()) {
      list.AddNewDownloadRow(wrapper, r.select);
      list.RefreshStatusBar();
    }
  }
  MarkQueueDirty();
  if (r.updateList && settings.switchMain) {
    if (list.IsLibraryViewShown()) {
      list.RevealDownloadRow(wrapper->uid());
    } else {
      list.RequestShowDownload(wrapper->uid());
    }
  }
  return wrapper->uid();
}

DownloadUID AddDownloadFromURLString(const std::string& text) {
  auto entries = engine::ParseURLListText(text, std::nullopt);
  if (!entries) return 0;
  AddDownloadRequest r;
  r.urlEntries = std::move(*entries);
  r.select = true;
  r.batchID = util::GetSessionUUIDString();
  return AddDownload(r);
}

std::size_t AddDownloadsFromURLListFile(const files::FileRef& file) {
  constexpr std::size_t kMaxListBytes = 65535;
  auto handle = files::FileHandle::Open(file, files::kOpenRead);
  if (!handle.ok()) return 0;
  std::string text(kMaxListBytes, '\0');
  auto got = handle->ReadAt(0, std::span(reinterpret_cast<std::uint8_t*>(text.data()), text.size()));
  if (!got.ok()) return 0;
  text.resize(*got);
  // The cut at 65535 bytes may split a character; only what lies before it counts.
  if (text.size() == kMaxListBytes) {
    for (int i = 0; i < 3 && !values::IsValidUtf8(text) && (static_cast<unsigned char>(text.back()) & 0x80);
         ++i) {
      text.pop_back();
    }
  }
  if (!values::IsValidUtf8(text)) return 0;

  const std::string lower = values::AsciiLower(text);
  std::size_t added = 0;
  for (std::size_t at = lower.find("url: "); at != std::string::npos; at = lower.find("url: ", at)) {
    at += 5;
    std::size_t end = at;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    if (end > at && AddDownloadFromURLString(text.substr(at, end - at)) != 0) ++added;
    at = end;
  }
  return added;
}

std::size_t AddDownloadsFromClipboard() {
  // Without the application there is no clipboard to read (a headless tool, a test).
  if (!toolbox::Application::Exists()) return 0;
  const auto text = toolbox::GetClipboardText();
  if (!text) return 0;
  std::size_t added = 0;
  for (const std::string& line : util::CreateArrayOfLines(*text)) {
    if (line.size() > 1 && AddDownloadFromURLString(line) != 0) ++added;
  }
  return added;
}

namespace {

// A numbered name for a renamed bundle: "<base>.partial", "<base>.1.partial"...
files::Status RenameToPartial(const files::FileRef& folder, const std::string& base, files::FileRef& out) {
  for (unsigned n = 0; n < 100000; ++n) {
    const std::string suffix =
        n == 0 ? std::string(kPartialExtension) : "." + std::to_string(n) + kPartialExtension;
    const files::FileRef target = folder.Parent().Child(TruncateUTF8(base, 255 - suffix.size()) + suffix);
    const files::Status s = files::RenameNoReplace(folder, target);
    if (s.ok()) {
      out = target;
      return s;
    }
    if (s.code() != files::dupFNErr) return s;
  }
  return files::Status(files::dupFNErr);
}

std::optional<values::Value> ReadPlist(const files::FileRef& file) {
  auto bytes = files::ReadFileContents(file, 16u << 20);
  if (!bytes.ok()) return std::nullopt;
  auto root = values::ReadPropertyList(std::span<const std::uint8_t>(bytes.value()));
  if (!root.ok() || !root->IsDictionary()) return std::nullopt;
  return root.value();
}

}  // namespace

bool ImportBrowserDownload(const files::FileRef& folder) {
  const std::string name = folder.Name();
  if (!values::AsciiEndsWithIgnoringCase(name, ".download")) return false;
  const auto info = ReadPlist(folder.Child("Info.plist"));
  if (!info) return true;

  // The partial file: the bundle's alias when it resolves (relative to the bundle).
  values::Bytes aliasBytes;
  if (info->GetData("DownloadEntryAliasBlob", aliasBytes) != values::Lookup::kOk) return true;
  std::optional<values::Bytes> alias = aliasBytes;
  auto partial = ResolveAliasField(alias);
  if (!partial) return true;

  const values::Value* resume = nullptr;
  info->GetDictionary("DownloadEntryResumeInformation", resume);
  std::string urlText;
  if (info->GetString("DownloadEntryURL", urlText) != values::Lookup::kOk &&
      (resume == nullptr || resume->GetString("NSURLDownloadURL", urlText) != values::Lookup::kOk)) {
    return true;
  }
  std::int64_t soFar = 0;
  if (info->GetInt64("DownloadEntryProgressBytesSoFar", soFar) != values::Lookup::kOk && resume != nullptr) {
    resume->GetInt64("NSURLDownloadBytesReceived", soFar);
  }
  std::int64_t total = -1;
  info->GetInt64("DownloadEntryProgressTotalToLoad", total);
  // Resuming after more bytes than the file holds would leave a hole in the finished file.
  auto partialInfo = files::FileHandle::Open(*partial, files::kOpenRead);
  std::int64_t onDisk = 0;
  if (partialInfo.ok()) {
    if (auto size = partialInfo->Size(); size.ok()) onDisk = static_cast<std::int64_t>(*size);
  }
  soFar = std::clamp<std::int64_t>(soFar, 0, onDisk);

  auto entries = engine::ParseURLListText(urlText, std::nullopt);
  if (!entries || entries->empty()) return true;
  if (resume != nullptr) {
    std::string s;
    if (resume->GetString("NSURLDownloadServerModificationDate", s) == values::Lookup::kOk) {
      (*entries)[0].Put("dateString", s);
    }
    if (resume->GetString("NSURLDownloadEntityTag", s) == values::Lookup::kOk) (*entries)[0].Put("ETag", s);
  }

  AddDownloadRequest r;
  r.urlEntries = std::move(*entries);
  r.connections = total <= 0 ? 1 : 0;
  r.destination = MakeAliasBytes(folder.Parent());
  r.select = true;
  r.batchID = util::GetSessionUUIDString();
  const DownloadUID uid = AddDownload(r);
  WrapperRef wrapper = LookUpDownloadWrapper(uid);
  if (!wrapper) return true;

  if (soFar > 0) {
    const std::string line = "0," + std::to_string(soFar) + "\n";
    files::WriteFileContents(folder.Child(kRangesFileName),
                             std::span(reinterpret_cast<const std::uint8_t*>(line.data()), line.size()));
  } else {
    files::CreateFile(folder.Child(kRangesFileName));
  }
  ::unlink(folder.Child("Info.plist").c_str());
  const std::string base = name.substr(0, name.size() - std::string_view(".download").size());
  files::FileRef package;
  files::FileRef dataFile = *partial;
  if (RenameToPartial(folder, base, package).ok() && folder.Contains(*partial)) {
    dataFile = package.Child(partial->Path().substr(folder.Path().size() + 1));
  }
  wrapper->element().fileAlias = MakeAliasBytes(dataFile);
  wrapper->setFileSize(total);
  WritePartialProperties(wrapper->element());
  return true;
}

DownloadUID AddDownloadFromPartialPackage(const files::FileRef& package) {
  const auto props = ReadPlist(package.Child(kPartialPropertiesFileName));
  if (!props) return 0;
  std::string filename;
  props->GetString("filename", filename);
  const values::Array* stored = nullptr;
  if (props->GetArray("URL data", stored) != values::Lookup::kOk) return 0;
  const values::Array entries = URLListFromStored(*stored);
  std::int64_t storedUID = 0;
  const bool hasUID = props->GetInt64("uid", storedUID) == values::Lookup::kOk;

  if (hasUID) {
    if (WrapperRef existing = LookUpDownloadWrapper(static_cast<DownloadUID>(storedUID))) {
      // The same download: same name and the same mirrors, entry by entry (a referer
      // missing on both sides is the same).
      const values::Array& have = existing->URLData();
      bool same = existing->filename() == filename && have.size() == entries.size();
      for (std::size_t i = 0; same && i < have.size(); ++i) {
        const values::Value* a = have[i].Find("referer");
        const values::Value* b = entries[i].Find("referer");
        same = have[i].Find("url") && entries[i].Find("url") &&
               *have[i].Find("url") == *entries[i].Find("url") &&
               ((a == nullptr && b == nullptr) || (a && b && *a == *b));
      }
      if (same) {
        ui::MainListServicesSlot::Get().RevealDownloadRow(existing->uid());
        return existing->uid();
      }
    }
  }
  AddDownloadRequest r;
  r.urlEntries = entries;
  r.uid = hasUID ? static_cast<DownloadUID>(storedUID) : 0;  // AddDownload draws a new one when taken
  r.select = true;
  r.batchID = util::GetSessionUUIDString();
  const DownloadUID uid = AddDownload(r);
  WrapperRef wrapper = LookUpDownloadWrapper(uid);
  if (!wrapper) return 0;
  std::string dataName;
  if (props->GetString("dataFileName", dataName) == values::Lookup::kOk &&
      files::ValidateItemName(dataName).ok()) {
    const files::FileRef data = package.Child(dataName);
    if (files::MakeExistingRef(data.Path()).ok()) wrapper->element().fileAlias = MakeAliasBytes(data);
  }
  return uid;
}

void AppendURLEntries(const values::Array& extra, const WrapperRef& wrapper) {
  if (LookUpDownloadWrapper(wrapper->uid()) != wrapper) return;
  values::Array list = wrapper->URLData();
  list.insert(list.end(), extra.begin(), extra.end());
  wrapper->setURLData(std::move(list));
  MarkQueueDirty();
}

}  // namespace queue
