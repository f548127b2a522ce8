#include "app/queue/record/queue_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "app/queue/adding/scheduled_items.h"
#include "app/queue/folders/folder_record.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_element_record.h"
#include "app/queue/record/queue_hooks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/record/record_text_store.h"
#include "app/ui/services/main_list_services.h"
#include "app/util/settings/setting_keys.h"
#include "platform/files/file_handle.h"
#include "platform/files/rename.h"
#include "platform/files/standard_folders.h"
#include "platform/runtime/run_loop.h"
#include "platform/runtime/task.h"
#include "platform/values/plist.h"
#include "platform/values/plist_xml.h"
#include "platform/values/plist_xml_stream.h"

namespace queue {
namespace {

bool gSaveBlocked = false;

void ReportOpenFailure(int number) {
  ReportQueueFailure("Couldn't open the queue file. Error " + std::to_string(number) + ".");
}

// What precedes the digits of a record's own "queue position" in its text: its keys are
// three tabs deep, right after a line's start (nested keys are deeper, and text values
// cannot hold "<").
constexpr std::string_view kPositionLead = "\n\t\t\t<key>queue position</key>\n\t\t\t<integer>";

// What one save writes, taken on the main thread: the records' texts, and the folders'
// records, which the worker writes out.
struct QueueSnapshot {
  RecordTextStore::Snapshot elements;
  values::Array folders;
  // Of `folders`, in order: their "items" (put in by the worker) and ids, to name them in
  // the log.
  std::vector<std::shared_ptr<const std::vector<DownloadUID>>> folderItems;
  std::vector<ViewID> folderIDs;
  std::string error;  // a record the writer refused: nothing is written
  // Values left out because the file cannot hold them: who had it, and where.
  std::vector<std::pair<std::string, std::string>> omissions;
};

// Bytes are written out in pieces of about this size, so a save never holds the whole
// file's text twice.
constexpr std::size_t kWriteChunk = 1 << 20;
constexpr std::size_t kReadChunk = 1 << 20;

struct SaveOutcome {
  files::Status status;
  std::string error;  // a record the writer refused (then status is paramErr)
  // Values left out because the file cannot hold them: who had it, and where.
  std::vector<std::pair<std::string, std::string>> omissions;
  // The worker's snapshot list, emptied, for the next snapshot to fill: a fresh list of a
  // large queue costs the main thread its pages anew each time.
  std::vector<RecordTextStore::Entry> spareElements;
};

// How the transfer log names a download of the file: by its name when that can be shown.
std::string DownloadDescription(const values::Value& record) {
  std::string name;
  if (record.GetString("Filename", name) == values::Lookup::kOk) {
    values::Value copy(name);
    if (values::RemoveValuesXmlCannotHold(copy).empty()) return "The download \"" + name + "\"";
  }
  std::int64_t uid = 0;
  record.GetInt64("UID", uid);
  return "The download " + std::to_string(uid);
}

// Takes out of one record what the queue file cannot hold (a control character that got
// in, text that is not UTF-8), so that one bad record never stops the queue from being
// saved; the outcome lists what was left out, for the transfer log.
template <class Owner, class Sink>
void RemoveWhatCannotBeSaved(values::Value& record, const Owner& owner, Sink& outcome) {
  std::vector<std::string> removed = values::RemoveValuesXmlCannotHold(record);
  if (removed.empty()) return;
  // Named only when something is left out: naming costs more than the check.
  const std::string name = owner();
  for (std::string& path : removed) outcome.omissions.emplace_back(name, std::move(path));
}

// The file's bytes as pieces, in order: what is written, and what reading it back must give.
struct FileText {
  std::string head;
  const RecordTextStore::Snapshot* elements = nullptr;
  std::string tail;

  template <class Fn>
  bool ForEachPiece(const Fn& fn) const {
    return fn(std::string_view(head)) && elements->ForEachPiece(fn) && fn(std::string_view(tail));
  }
};

// Lays the snapshot out as one XML property list {"Elements": [...], "Folders": [...]},
// the same bytes WritePropertyList gives for it.
SaveOutcome LayOut(QueueSnapshot& snapshot, FileText& file) {
  SaveOutcome outcome;
  outcome.omissions = std::move(snapshot.omissions);
  if (!snapshot.error.empty()) {
    outcome.error = std::move(snapshot.error);
    outcome.status = files::Status(files::paramErr);
    return outcome;
  }
  file.head = values::XmlPropertyListHeader();
  file.head += "<dict>\n\t<key>Elements</key>\n";
  file.head += snapshot.elements.entries.empty() ? "\t<array/>\n" : "\t<array>\n";
  file.elements = &snapshot.elements;
  if (!snapshot.elements.entries.empty()) file.tail += "\t</array>\n";
  file.tail += "\t<key>Folders</key>\n";
  if (snapshot.folders.empty()) {
    file.tail += "\t<array/>\n";
  } else {
    file.tail += "\t<array>\n";
    for (std::size_t i = 0; i < snapshot.folders.size(); ++i) {
      if (i < snapshot.folderItems.size() && snapshot.folderItems[i]) {
        values::Array items;
        items.reserve(snapshot.folderItems[i]->size());
        for (const DownloadUID uid : *snapshot.folderItems[i]) items.push_back(values::Number::Int64(uid));
        snapshot.folders[i].Put("items", std::move(items));
      }
      RemoveWhatCannotBeSaved(
          snapshot.folders[i],
          [&] {
            return "The folder " + std::to_string(i < snapshot.folderIDs.size() ? snapshot.folderIDs[i] : 0);
          },
          outcome);
      if (!values::AppendXmlPropertyListValue(snapshot.folders[i], 2, file.tail, outcome.error)) {
        outcome.status = files::Status(files::paramErr);
        return outcome;
      }
    }
    file.tail += "\t</array>\n";
  }
  file.tail += "</dict>\n";
  file.tail += values::XmlPropertyListFooter();
  return outcome;
}

files::Status WriteFileText(const files::FileHandle& handle, const FileText& file) {
  std::string out;
  out.reserve(kWriteChunk + kWriteChunk / 4);
  std::uint64_t offset = 0;
  files::Status status;
  auto flush = [&] {
    status = handle.WriteAt(offset, std::span(reinterpret_cast<const std::uint8_t*>(out.data()), out.size()));
    offset += out.size();
    out.clear();
    return status.ok();
  };
  if (!file.ForEachPiece([&](std::string_view piece) {
        out += piece;
        return out.size() < kWriteChunk || flush();
      })) {
    return status;
  }
  flush();
  return status;
}

// Reads the file back as the next start will find it, a piece at a time: it must hold
// exactly the bytes written. (The writer takes only what it can write back as XML, so
// the same bytes are a file the next start reads.)
files::Status CheckWritten(const files::FileRef& path, const FileText& file) {
  auto handle = files::FileHandle::Open(path, files::kOpenRead);
  if (!handle.ok()) return handle.status();
  std::vector<std::uint8_t> buffer(kReadChunk);
  std::uint64_t offset = 0;
  std::size_t have = 0, used = 0;  // of `buffer`
  files::Status status;
  bool same = file.ForEachPiece([&](std::string_view piece) {
    while (!piece.empty()) {
      if (used == have) {
        auto n = handle->ReadAt(offset, buffer);
        if (!n.ok()) {
          status = n.status();
          return false;
        }
        if (*n == 0) return false;
        offset += *n;
        have = *n;
        used = 0;
      }
      const std::size_t take = std::min(piece.size(), have - used);
      if (std::memcmp(buffer.data() + used, piece.data(), take) != 0) return false;
      used += take;
      piece.remove_prefix(take);
    }
    return true;
  });
  if (same && used == have) {
    // Nothing may follow.
    auto n = handle->ReadAt(offset, buffer);
    if (!n.ok()) return n.status();
    same = *n == 0;
  }
  if (!status.ok()) return status;
  return same ? files::Status() : files::Status(files::ioErr);
}

void SyncFolder(const files::FileRef& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Writes the snapshot to "<queue file>.new", flushes it to disk, checks it, and renames it
// over the queue file. Runs on any thread: it touches nothing but the files.
SaveOutcome SaveSnapshot(const files::FileRef& file, QueueSnapshot& snapshot) {
  FileText text;
  SaveOutcome outcome = LayOut(snapshot, text);
  if (!outcome.status.ok()) return outcome;
  const files::FileRef newFile = file.Parent().Child(std::string(kQueueFileName) + ".new");
  {
    auto handle =
        files::FileHandle::Open(newFile, files::kOpenWrite | files::kOpenCreate | files::kOpenTruncate, 0600);
    if (!handle.ok()) {
      outcome.status = handle.status();
      return outcome;
    }
    outcome.status = WriteFileText(*handle, text);
    if (outcome.status.ok()) outcome.status = handle->Sync();
    if (files::Status s = handle->Close(); outcome.status.ok()) outcome.status = s;
  }
  if (outcome.status.ok()) outcome.status = CheckWritten(newFile, text);
  if (outcome.status.ok() && ::rename(newFile.c_str(), file.c_str()) != 0)
    outcome.status = files::Status::FromErrno(errno);
  if (!outcome.status.ok()) {
    ::unlink(newFile.c_str());
    return outcome;
  }
  SyncFolder(file.Parent());
  return outcome;
}

// What was already reported as left out of the saved queue, so that each save does not
// report it again.
std::set<std::string>& ReportedOmissions() {
  static std::set<std::string> reported;
  return reported;
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

WrapperRef RecordFromDictionary(values::Value&& dict, RecordLoadState& state) {
  WrapperRef wrapper = DownloadQueueElementCreateFromDictionary(std::move(dict), state);
  DownloadQueueElement& e = wrapper->element();
  e.transferLog = {};
  e.inUse = false;
  return wrapper;
}

// Files the records of a load into the queue tables, in file order.
void FileRecords(const std::vector<WrapperRef>& records) {
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

// What a load read: the records, made as they came, and the folders' records.
struct LoadedQueue {
  std::vector<WrapperRef> records;
  values::Array folders;
};

// Reads the queue file piece by piece: each record becomes a download as soon as it is
// read, so the file's text and its records are never all in memory at once. nullopt when
// the file is damaged (then nothing of it is kept).
std::optional<LoadedQueue> ReadQueueFile(const files::FileHandle& handle, RecordLoadState& state) {
  LoadedQueue loaded;
  values::XmlPlistStreamReader reader([&](const std::string& key, values::Value&& item, std::string&) {
    if (key == "Elements") {
      if (item.IsDictionary()) loaded.records.push_back(RecordFromDictionary(std::move(item), state));
    } else if (key == "Folders") {
      loaded.folders.push_back(std::move(item));
    }
    return true;
  });
  std::vector<std::uint8_t> buffer(kReadChunk);
  for (std::uint64_t offset = 0;;) {
    auto n = handle.ReadAt(offset, buffer);
    if (!n.ok()) return std::nullopt;
    if (*n == 0) break;
    offset += *n;
    if (!reader.Feed(std::string_view(reinterpret_cast<const char*>(buffer.data()), *n))) return std::nullopt;
  }
  auto root = reader.Finish();
  if (!root.ok() || !root->IsDictionary()) return std::nullopt;
  return loaded;
}

// Whether the file is XML text the piece-by-piece reader takes (UTF-8, after an optional
// byte-order mark and white space); other files (a binary list from an older version)
// are read whole.
bool StartsAsUtf8Xml(const files::FileHandle& handle) {
  std::uint8_t head[64];
  auto n = handle.ReadAt(0, head);
  if (!n.ok()) return false;
  std::size_t at = 0;
  if (*n >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) at = 3;
  while (at < *n && (head[at] == ' ' || head[at] == '\t' || head[at] == '\n' || head[at] == '\r')) ++at;
  return at + 1 < *n && head[at] == '<' && head[at + 1] != 0;
}

// The whole file at once, for what the piece-by-piece reader does not take.
std::optional<LoadedQueue> ReadWholeQueueFile(const values::Bytes& bytes, RecordLoadState& state) {
  auto root = values::ReadPropertyList(std::span<const std::uint8_t>(bytes));
  if (!root.ok() || !root->IsDictionary()) return std::nullopt;
  LoadedQueue loaded;
  const values::Array* elements = nullptr;
  if (root->GetArray("Elements", elements) == values::Lookup::kOk) {
    for (const values::Value& dict : *elements) {
      if (dict.IsDictionary()) loaded.records.push_back(RecordFromDictionary(values::Value(dict), state));
    }
  }
  const values::Array* folders = nullptr;
  if (root->GetArray("Folders", folders) == values::Lookup::kOk) loaded.folders = *folders;
  return loaded;
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

namespace {

// What a record's text depends on beyond the record: whether credentials are enciphered,
// and whether there is a cipher to do it. A change of either makes every text anew.
struct RecordTextKey {
  bool encipher = false;
  bool cipher = false;
  bool operator==(const RecordTextKey&) const = default;
};

RecordTextKey CurrentRecordTextKey() {
  return {util::ReadSetting(util::kEncryptQueueKey),
          static_cast<bool>(QueueHooksSlot::Get().encipherCredential)};
}

// The texts the saves write from (main thread only), with the lists of the last save kept
// for the next: fresh lists of a large queue cost the main thread their pages anew each time.
struct SavedTexts {
  RecordTextStore& store = SavedRecordTexts();
  std::optional<RecordTextKey> key;  // what the texts were made with; none yet: make them all
  RecordChanges spareChanges;
  std::vector<RecordTextStore::Entry> spareEntries;
};

SavedTexts& Saved() {
  static SavedTexts saved;
  return saved;
}

// Values left out of records whose text was made outside a save (after a load), for the
// next save to report.
std::vector<std::pair<std::string, std::string>>& PendingOmissions() {
  static std::vector<std::pair<std::string, std::string>> omissions;
  return omissions;
}

// Makes the record's text anew and keeps it under `key`; false (and `error`) when the writer
// refuses it. A record whose credentials were held back for want of a cipher, or that was
// refused, stays marked changed, so that the next save makes it again.
template <class Sink>
bool RefreshRecordText(DownloadQueueWrapper& wrapper, DownloadUID key, Sink& sink, std::string& error) {
  bool withheld = false;
  const DownloadQueueElement& element = std::as_const(wrapper).element();
  values::Value record = DownloadQueueElementCopyDictionary(element, &withheld);
  // Written into one buffer kept for all records, then copied into the store.
  static std::string scratch;
  scratch.clear();
  std::string refused;
  // Nearly every record writes as it is; only one that does not is looked through for
  // what the file cannot hold.
  if (!values::AppendXmlPropertyListValue(record, 2, scratch, refused)) {
    RemoveWhatCannotBeSaved(
        record, [&] { return DownloadDescription(record); }, sink);
    scratch.clear();
    if (!values::AppendXmlPropertyListValue(record, 2, scratch, error)) {
      wrapper.MarkChanged();
      return false;
    }
  }
  // The position's digits (which the writer put there from the record) are left out.
  const std::size_t lead = scratch.find(kPositionLead);
  const std::size_t digits = lead == std::string::npos ? lead : lead + kPositionLead.size();
  const std::size_t end = digits == std::string::npos ? digits : scratch.find('<', digits);
  if (end == std::string::npos) {
    Saved().store.Put(key, wrapper, scratch, RecordTextStore::kNoPosition, RecordTextStore::kNoPosition, 0);
  } else {
    Saved().store.Put(key, wrapper, scratch, static_cast<std::uint32_t>(digits),
                      static_cast<std::uint32_t>(end), element.queuePosition);
  }
  if (withheld) wrapper.MarkChanged();
  return true;
}

// Every record's text made anew, whatever was kept. A record the writer refuses is left
// out (and `error` set); the others are all made.
template <class Sink>
void MakeEveryText(Sink& sink, std::string& error) {
  SavedTexts& saved = Saved();
  // Whatever was noted is made anew below.
  saved.spareChanges = TakeRecordChanges(std::move(saved.spareChanges));
  // The old texts go first: a large queue never holds two sets.
  saved.store.Clear();
  std::lock_guard lock(gQueueItemsLock);
  for (const auto& [key, wrapper] : gQueueItems) {
    wrapper->TakeChanged();
    RefreshRecordText(*wrapper, key, sink, error);
  }
  saved.store.Settle();
}

std::uint32_t IndexHint(const DownloadQueueWrapper& w, DownloadUID key) {
  return w.hasSavedText() && w.savedTextKey() == key ? w.savedTextIndex() : 0;
}

// Both gQueueItems and the store are in key order: walks them side by side.
template <class Fn>
void ForEachKeptRecord(RecordTextStore& store, const Fn& fn) {
  auto& entries = store.entries();
  auto e = entries.begin();
  for (const auto& [key, wrapper] : gQueueItems) {
    while (e != entries.end() && e->key < key) ++e;
    fn(key, *wrapper, e != entries.end() && e->key == key ? &*e : nullptr);
  }
}

// After a change of the table the notes did not tell of (a record put into gQueueItems
// directly): every record's text is checked against the table, and made again where it
// is not the record's own or the record changed.
template <class Sink>
void MatchTable(Sink& sink, std::string& error) {
  RecordTextStore& store = Saved().store;
  std::vector<DownloadUID> stale, refresh;
  {
    auto& entries = store.entries();
    auto e = entries.begin();
    for (const auto& [key, wrapper] : gQueueItems) {
      for (; e != entries.end() && e->key < key; ++e) stale.push_back(e->key);
      const bool kept = e != entries.end() && e->key == key;
      if (!kept || e->owner != wrapper.get() || wrapper->changed()) refresh.push_back(key);
      if (kept) ++e;
    }
    for (; e != entries.end(); ++e) stale.push_back(e->key);
  }
  for (const DownloadUID key : stale) store.Remove(key);
  for (const DownloadUID key : refresh) {
    DownloadQueueWrapper& w = *gQueueItems[key];
    w.TakeChanged();
    RefreshRecordText(w, key, sink, error);
  }
  store.Settle();
}

// Brings the kept texts up to date with what was noted since the last save: new positions,
// records written to, records come and gone. Costs what changed, not the queue's size.
template <class Sink>
void MakeChangedTexts(Sink& sink, std::string& error) {
  SavedTexts& saved = Saved();
  RecordChanges changes = TakeRecordChanges(std::move(saved.spareChanges));
  if (changes.everything) {
    saved.spareChanges = std::move(changes);
    MakeEveryText(sink, error);
    return;
  }
  RecordTextStore& store = saved.store;
  std::lock_guard lock(gQueueItemsLock);
  if (changes.allPositions) {
    ForEachKeptRecord(store, [](DownloadUID, const DownloadQueueWrapper& w, RecordTextStore::Entry* e) {
      if (e != nullptr && e->owner == &w) e->position = w.element().queuePosition;
    });
  } else {
    for (const RecordChanges::Position& p : changes.positions) {
      RecordTextStore::Entry* e = store.Find(p.key, p.hint);
      if (e != nullptr && e->owner == p.owner) e->position = p.position;
    }
  }
  std::vector<DownloadUID>& keys = changes.memberships;
  for (const auto& weak : changes.records) {
    if (auto w = weak.lock()) keys.push_back(w->hasSavedText() ? w->savedTextKey() : w->uid());
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  for (const DownloadUID key : keys) {
    auto it = gQueueItems.find(key);
    if (it == gQueueItems.end()) {
      store.Remove(key);
      continue;
    }
    DownloadQueueWrapper& w = *it->second;
    const RecordTextStore::Entry* e = store.Find(key, IndexHint(w, key));
    if (e != nullptr && e->owner == &w && !w.changed()) continue;
    w.TakeChanged();
    RefreshRecordText(w, key, sink, error);
  }
  store.Settle();
  saved.spareChanges = std::move(changes);
  if (store.size() != gQueueItems.size()) MatchTable(sink, error);
}

// Takes what the next save writes, on the main thread: the text of every record, made
// anew only for those changed since their last save (every one when `afresh`).
QueueSnapshot TakeSnapshot(bool afresh) {
  QueueSnapshot snapshot;
  snapshot.omissions = std::move(PendingOmissions());
  PendingOmissions().clear();
  SavedTexts& saved = Saved();
  const RecordTextKey key = CurrentRecordTextKey();
  if (saved.key != key) afresh = true;
  saved.key = key;
  if (afresh) {
    MakeEveryText(snapshot, snapshot.error);
  } else {
    MakeChangedTexts(snapshot, snapshot.error);
  }
  snapshot.elements.entries = std::move(saved.spareEntries);
  saved.store.TakeSnapshot(snapshot.elements);
  {
    std::lock_guard lock(gFoldersLock);
    for (const auto& [uid, folder] : gFolders) {
      if (afresh) folder->items();  // copied again too
      snapshot.folders.push_back(CopyFolderRecord(*folder, &snapshot.folderItems.emplace_back()));
      snapshot.folderIDs.push_back(uid);
    }
  }
  return snapshot;
}

// The texts of the records a load replaces go before the load makes the new records, so
// that a large queue never has both in memory.
void ForgetSavedTexts() {
  Saved().store.Clear();
  Saved().key.reset();
  std::vector<RecordTextStore::Entry>().swap(Saved().spareEntries);
}

// Every record's text and every folder's list of items made now (PrepareQueueFileSaves).
// Records the writer refuses are left to the next save to report.
void MakeSavedTexts() {
  Saved().key = CurrentRecordTextKey();
  std::string error;
  struct Sink {
    std::vector<std::pair<std::string, std::string>>& omissions;
  } sink{PendingOmissions()};
  MakeEveryText(sink, error);
  // The list the first snapshot fills is made here too, so that the first start of the run
  // does not pay for its pages.
  SavedTexts& saved = Saved();
  saved.spareEntries.assign(saved.store.size(), RecordTextStore::Entry{});
  saved.spareEntries.clear();
  std::lock_guard lock(gFoldersLock);
  for (const auto& [uid, folder] : gFolders) {
    std::shared_ptr<const std::vector<DownloadUID>> items;
    CopyFolderRecord(*folder, &items);
  }
}

// On the main thread, after a save: a failure is reported and leaves the queue changed, so
// that the next save tries again.
files::Status NoteSaveOutcome(const SaveOutcome& outcome, bool queueChanged, bool foldersChanged) {
  for (const auto& [name, path] : outcome.omissions) {
    if (!ReportedOmissions().insert(name + "\n" + path).second) continue;
    ui::MainListServicesSlot::Get().LogMessageToGlobalLog(
        true, name + " was saved in the queue file without its value \"" + path +
                  "\", which holds characters that cannot be stored.");
  }
  if (!outcome.error.empty()) {
    ReportQueueFailure("Couldn't save the queue file: " + outcome.error);
  } else if (!outcome.status.ok()) {
    ReportOpenFailure(outcome.status.code());
  }
  if (!outcome.status.ok()) {
    gQueueChanged = gQueueChanged || queueChanged;
    gFolderSettingsChanged = gFolderSettingsChanged || foldersChanged;
  }
  return outcome.status;
}

// The save running on a worker, and whether another was asked for meanwhile. Main thread
// only, except the outcome, which the worker fills.
struct BackgroundSave {
  std::shared_ptr<runtime::Task> task;
  std::shared_ptr<SaveOutcome> outcome;
  bool queueChanged = false;
  bool foldersChanged = false;
  bool again = false;
  std::uint64_t generation = 0;  // of the save running now
};

BackgroundSave& Background() {
  static BackgroundSave save;
  return save;
}

// Takes in the outcome of the worker's save once it has ended (false while it runs).
bool CollectBackgroundSave(bool wait) {
  BackgroundSave& b = Background();
  if (!b.task) return true;
  if (wait) {
    b.task->Wait();
  } else if (b.task->IsRunning()) {
    return false;
  }
  b.task.reset();
  Saved().spareEntries = std::move(b.outcome->spareElements);
  NoteSaveOutcome(*b.outcome, b.queueChanged, b.foldersChanged);
  b.outcome.reset();
  return true;
}

void StartBackgroundSave();

// Posted to the main loop by the worker when it is done (the save may have been taken in
// already, by a save that had to wait for it).
void BackgroundSaveEnded(std::uint64_t generation) {
  if (generation != Background().generation || !CollectBackgroundSave(true)) return;
  BackgroundSave& b = Background();
  if (b.again) {
    b.again = false;
    if (gQueueChanged || gFolderSettingsChanged) StartBackgroundSave();
  }
}

// A process that ends while a save runs lets it finish first: its libraries (OpenSSL's
// digests) are torn down at exit, and the old file stays whole anyway.
void WaitForSaveAtExit() {
  if (auto task = Background().task) task->Wait();
}

void StartBackgroundSave() {
  BackgroundSave& b = Background();
  if (gSaveBlocked) return;
  static const bool waitsAtExit = std::atexit(WaitForSaveAtExit) == 0;
  (void)waitsAtExit;
  auto file = QueueFileRef();
  if (!file.ok()) {
    ReportOpenFailure(file.status().code());
    return;
  }
  auto snapshot = std::make_shared<QueueSnapshot>(TakeSnapshot(false));
  b.queueChanged = std::exchange(gQueueChanged, false);
  b.foldersChanged = std::exchange(gFolderSettingsChanged, false);
  b.outcome = std::make_shared<SaveOutcome>();
  std::shared_ptr<runtime::RunLoop> mainLoop = runtime::RunLoop::Main();
  const std::uint64_t generation = ++b.generation;
  b.task = runtime::Task::Start({.name = "queue save"}, [snapshot, outcome = b.outcome, target = *file,
                                                         mainLoop, generation]() mutable {
    *outcome = SaveSnapshot(target, *snapshot);
    snapshot->elements.entries.clear();
    outcome->spareElements = std::move(snapshot->elements.entries);
    snapshot.reset();  // the memory goes back now, not when the main thread looks
    if (mainLoop) mainLoop->Perform([generation] { BackgroundSaveEnded(generation); });
    return runtime::kNoErr;
  });
  if (!b.task) {
    // No thread to be had: save here, as before.
    *b.outcome = SaveSnapshot(*file, *snapshot);
    NoteSaveOutcome(*b.outcome, b.queueChanged, b.foldersChanged);
    b.outcome.reset();
  }
}

}  // namespace

files::Status SaveQueueFile() {
  // One writer at a time: a save still running on the worker ends first.
  CollectBackgroundSave(true);
  Background().again = false;
  if (gSaveBlocked) return files::Status(files::fBsyErr);
  auto file = QueueFileRef();
  if (!file.ok()) return file.status();
  // Every record is written afresh here (at quit, among others), whatever the saves before
  // kept of it.
  QueueSnapshot snapshot = TakeSnapshot(true);
  const bool queueChanged = std::exchange(gQueueChanged, false);
  const bool foldersChanged = std::exchange(gFolderSettingsChanged, false);
  return NoteSaveOutcome(SaveSnapshot(*file, snapshot), queueChanged, foldersChanged);
}

void SaveQueueFileSoon() {
  if (!CollectBackgroundSave(false)) {
    // Saves asked for while one runs make one more save, from the state at its end.
    Background().again = true;
    return;
  }
  StartBackgroundSave();
}

void PrepareQueueFileSaves() {
  FinishQueueFileSaves();
  MakeSavedTexts();
}

void FinishQueueFileSaves() {
  CollectBackgroundSave(true);
  BackgroundSave& b = Background();
  if (b.again) {
    b.again = false;
    if (gQueueChanged || gFolderSettingsChanged) {
      StartBackgroundSave();
      CollectBackgroundSave(true);
    }
  }
}

files::Status LoadQueueFile() {
  FinishQueueFileSaves();
  ForgetSavedTexts();
  ClearQueueTables();
  ClearFolderTable();
  CreateScheduledItemList();
  gSaveBlocked = false;
  ReportedOmissions().clear();
  PendingOmissions().clear();

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
    auto handle = files::FileHandle::Open(file, files::kOpenRead);
    std::optional<LoadedQueue> loaded;
    files::Status failure;
    if (handle.ok() && StartsAsUtf8Xml(*handle)) {
      loaded = ReadQueueFile(*handle, state);
    } else if (handle.ok()) {
      auto bytes = files::ReadFileContents(file, values::kMaxPlistFileSize);
      if (bytes.ok()) {
        loaded = ReadWholeQueueFile(bytes.value(), state);
      } else {
        failure = bytes.status();
      }
    } else {
      failure = handle.status();
    }
    if (!failure.ok()) {
      if (failure.code() == files::notAFileErr) {
        ReportQueueFailure("The queue file \"" + file.Path() + "\" is not a regular file.");
      } else {
        ReportOpenFailure(failure.code());
      }
      GiveUnreadableFileUp(file);
    } else if (!loaded) {
      GiveUnreadableFileUp(file);
    } else {
      FileRecords(loaded->records);
      loaded->records.clear();
      LoadFolders(loaded->folders);
      if (older) MarkQueueDirty();
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
