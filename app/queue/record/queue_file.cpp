#include "app/queue/record/queue_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

#include "app/queue/adding/scheduled_items.h"
#include "app/queue/folders/folder_record.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_element_record.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/services/main_list_services.h"
#include "platform/files/file_handle.h"
#include "platform/files/rename.h"
#include "platform/files/standard_folders.h"
#include "platform/values/plist.h"
#include "platform/values/plist_xml.h"

namespace queue {
namespace {

bool gSaveBlocked = false;

void ReportOpenFailure(int number) {
  ReportQueueFailure("Couldn't open the queue file. Error " + std::to_string(number) + ".");
}

// Writes every byte, flushes, and reads the file back as the next start will: it must
// parse, and hold as many records as were written. (Comparing bytes would pass a file that
// no reader takes, as long as it was written faithfully.)
files::Status WriteAndCheck(const files::FileRef& file, const values::Bytes& bytes, std::size_t elementCount,
                            std::size_t folderCount) {
  {
    auto handle =
        files::FileHandle::Open(file, files::kOpenWrite | files::kOpenCreate | files::kOpenTruncate, 0600);
    if (!handle.ok()) return handle.status();
    if (auto s = handle->WriteAt(0, bytes); !s.ok()) return s;
    if (auto s = handle->Sync(); !s.ok()) return s;
    if (auto s = handle->Close(); !s.ok()) return s;
  }
  auto back = files::ReadFileContents(file, bytes.size() + 1);
  if (!back.ok()) return back.status();
  auto root = values::ReadPropertyList(std::span<const std::uint8_t>(back.value()));
  const values::Array* elements = nullptr;
  const values::Array* folders = nullptr;
  if (!root.ok() || root->GetArray("Elements", elements) != values::Lookup::kOk ||
      root->GetArray("Folders", folders) != values::Lookup::kOk || elements->size() != elementCount ||
      folders->size() != folderCount) {
    return files::Status(files::ioErr);
  }
  return {};
}

// What was already reported as left out of the saved queue, so that each save does not
// report it again.
std::set<std::string>& ReportedOmissions() {
  static std::set<std::string> reported;
  return reported;
}

// Takes out of one record what the queue file cannot hold (a control character that got
// in, text that is not UTF-8), so that one bad record never stops the queue from being
// saved; the transfer log says what was left out.
void RemoveWhatCannotBeSaved(values::Value& record, const std::string& owner) {
  for (const std::string& path : values::RemoveValuesXmlCannotHold(record)) {
    if (!ReportedOmissions().insert(owner + "\n" + path).second) continue;
    ui::MainListServicesSlot::Get().LogMessageToGlobalLog(
        true, owner + " was saved in the queue file without its value \"" + path +
                  "\", which holds characters that cannot be stored.");
  }
}

// How the transfer log names a download: by its name when that can be shown.
std::string DownloadDescription(const DownloadQueueElement& e) {
  values::Value name(e.filename);
  if (values::RemoveValuesXmlCannotHold(name).empty()) return "The download \"" + e.filename + "\"";
  return "The download " + std::to_string(e.uid);
}

void SyncFolder(const files::FileRef& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Moves a file that cannot be read out of the way; false when it stays where it is.
bool MoveAside(const files::FileRef& file) {
  for (unsigned n = 0; n < 1000; ++n) {
    std::string name = file.Name() + ".unreadable";
    if (n > 0) name += "." + std::to_string(n);
    const files::FileRef aside = file.Parent().Child(name);
    const files::Status s = files::RenameNoReplace(file, aside);
    if (s.ok()) {
      ui::MainListServicesSlot::Get().LogMessageToGlobalLog(
          true, "The queue file could not be read. It was kept as \"" + aside.Path() + "\".");
      return true;
    }
    if (s.code() != files::dupFNErr) break;
  }
  return false;
}

void GiveUnreadableFileUp(const files::FileRef& file) {
  if (!MoveAside(file)) {
    gSaveBlocked = true;
    ReportQueueFailure(
        "The queue file \"" + file.Path() +
        "\" could not be read or moved aside. The queue will not be saved until it is removed.");
  }
}

void LoadElements(const values::Array& elements, RecordLoadState& state) {
  std::vector<WrapperRef> records;
  records.reserve(elements.size());
  for (const values::Value& dict : elements) {
    if (!dict.IsDictionary()) continue;
    WrapperRef wrapper = DownloadQueueElementCreateFromDictionary(dict, state);
    DownloadQueueElement& e = wrapper->element();
    e.transferLog = {};
    e.inUse = false;
    records.push_back(std::move(wrapper));
  }
  std::lock_guard lock(gQueueItemsLock);
  // A UID names one download everywhere (scripts, peers, folders): the first record with a
  // UID keeps it, and each later one gets a new UID rather than replace the first.
  std::vector<WrapperRef> repeats;
  for (const auto& w : records) {
    if (!gQueueItems.emplace(w->uid(), w).second) repeats.push_back(w);
  }
  for (const auto& w : repeats) {
    w->element().uid = NewDownloadUID();
    gQueueItems.emplace(w->uid(), w);
    MarkQueueDirty();
  }
  gQueueItems.clear();

  std::int32_t running = 0;
  for (const auto& w : records) running += (w->status() & kRunningMask) != 0;
  std::int32_t position = 1;
  for (const auto& w : records) {
    DownloadQueueElement& e = w->element();
    bool inOrder = false;
    if (e.status & kRunningMask) {
      e.status = kStatusQueued;
      e.queuePosition = position++;
      inOrder = true;
    } else if (e.status == kStatusQueued) {
      e.queuePosition += running;
      inOrder = true;
    } else if (e.status == kStatusScheduled) {
      if (e.scheduleTime > 0.0) {
        InsertScheduledItemSorted(w);
      } else {
        e.status = kStatusOnHold;
      }
    }
    if (inOrder) gQueueOrder.push_back(e.uid);
    gQueueItems[e.uid] = w;
  }
  std::stable_sort(gQueueOrder.begin(), gQueueOrder.end(), [](DownloadUID a, DownloadUID b) {
    return gQueueItems[a]->element().queuePosition < gQueueItems[b]->element().queuePosition;
  });
  gQueuedCount = static_cast<std::int32_t>(gQueueOrder.size());
  RenumberQueue(0, gQueueOrder.size());
}

void LoadFolders(const values::Array& folders) {
  std::lock_guard lock(gFoldersLock);
  for (const values::Value& record : folders) {
    if (!record.IsDictionary()) continue;
    FolderRef folder = CreateFolderFromRecord(record);
    if (!folder || !IsStorableFolderID(folder->uid())) continue;
    AddFolderToFolderTable(folder, folder->uid());
  }
}

}  // namespace

bool QueueFileSaveBlocked() {
  return gSaveBlocked;
}

files::Result<files::FileRef> QueueFileRef() {
  auto folder = files::FindStandardFolder(files::StandardFolder::kApplicationSupport, true);
  if (!folder.ok()) return folder.status();
  return folder->Child(kQueueFileName);
}

files::Status SaveQueueFile() {
  if (gSaveBlocked) return files::Status(files::fBsyErr);
  auto file = QueueFileRef();
  if (!file.ok()) return file.status();

  values::Array elements;
  {
    std::lock_guard lock(gQueueItemsLock);
    elements.reserve(gQueueItems.size());
    for (const auto& [uid, wrapper] : gQueueItems) {
      elements.push_back(DownloadQueueElementCopyDictionary(wrapper->element()));
      RemoveWhatCannotBeSaved(elements.back(), DownloadDescription(wrapper->element()));
    }
  }
  values::Array folders;
  {
    std::lock_guard lock(gFoldersLock);
    for (const auto& [uid, folder] : gFolders) {
      folders.push_back(CopyFolderRecord(*folder));
      RemoveWhatCannotBeSaved(folders.back(), "The folder " + std::to_string(uid));
    }
  }
  const std::size_t elementCount = elements.size();
  const std::size_t folderCount = folders.size();
  values::Value root(values::Dictionary{{"Elements", std::move(elements)}, {"Folders", std::move(folders)}});
  auto bytes = values::WritePropertyList(root, values::PlistFormat::kXml);
  if (!bytes.ok()) {
    ReportQueueFailure("Couldn't save the queue file: " + bytes.error());
    return files::Status(files::paramErr);
  }

  const files::FileRef newFile = file->Parent().Child(std::string(kQueueFileName) + ".new");
  files::Status status = WriteAndCheck(newFile, bytes.value(), elementCount, folderCount);
  if (status.ok() && ::rename(newFile.c_str(), file->c_str()) != 0) status = files::Status::FromErrno(errno);
  if (!status.ok()) {
    ::unlink(newFile.c_str());
    ReportOpenFailure(status.code());
    return status;
  }
  SyncFolder(file->Parent());
  gQueueChanged = false;
  gFolderSettingsChanged = false;
  return {};
}

files::Status LoadQueueFile() {
  ClearQueueTables();
  ClearFolderTable();
  CreateScheduledItemList();
  gSaveBlocked = false;
  ReportedOmissions().clear();

  auto fileRef = QueueFileRef();
  if (!fileRef.ok()) return fileRef.status();
  files::FileRef file = *fileRef;
  bool older = false;
  if (!files::MakeExistingRef(file.Path()).ok()) {
    file = files::StandardFolderRef(files::StandardFolder::kPreferences).Child(kOlderQueueFileName);
    older = true;
  }

  RecordLoadState state;
  if (files::MakeExistingRef(file.Path()).ok()) {
    auto bytes = files::ReadFileContents(file, values::kMaxPlistFileSize);
    if (!bytes.ok()) {
      if (bytes.code() == files::notAFileErr) {
        ReportQueueFailure("The queue file \"" + file.Path() + "\" is not a regular file.");
      } else {
        ReportOpenFailure(bytes.code());
      }
      GiveUnreadableFileUp(file);
    } else {
      auto root = values::ReadPropertyList(std::span<const std::uint8_t>(bytes.value()));
      if (!root.ok() || !root->IsDictionary()) {
        GiveUnreadableFileUp(file);
      } else {
        const values::Array* elements = nullptr;
        if (root->GetArray("Elements", elements) == values::Lookup::kOk) LoadElements(*elements, state);
        const values::Array* folders = nullptr;
        if (root->GetArray("Folders", folders) == values::Lookup::kOk) LoadFolders(*folders);
        if (older) MarkQueueDirty();
      }
    }
  }
  if (state.cipherFailed) {
    const std::string text =
        "Password data from the queue file could not be decrypted. You may have to re-enter password "
        "information for downloads that require it";
    ShowQueueMessage(text);
  }
  AddMissingBuiltInFolders();
  return {};
}

}  // namespace queue
