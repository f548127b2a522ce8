#include "app/util/files/file_system_helpers.h"

#include <sys/stat.h>
#include <climits>
#include <cstdio>

#include <mutex>
#include <utility>
#include <vector>

#include "platform/files/catalog_info.h"
#include "platform/files/folder_iterator.h"
#include "platform/files/rename.h"
#include "platform/files/tree_ops.h"

using files::FileRef;
using files::OSErr;

namespace {

class SilentFinderNotifier : public FinderNotifier {
 public:
  void NotifyFolderChanged(const FileRef&) override {}
};

std::mutex g_notifier_lock;
std::shared_ptr<FinderNotifier> g_notifier = std::make_shared<SilentFinderNotifier>();

void NotifyFolderChanged(const FileRef& folder) {
  std::shared_ptr<FinderNotifier> notifier;
  {
    std::lock_guard<std::mutex> lock(g_notifier_lock);
    notifier = g_notifier;
  }
  notifier->NotifyFolderChanged(folder);
}

OSErr UpdateStoredFinderFlags(const FileRef& item, bool set, std::uint16_t bits,
                              std::optional<values::FourCharCode> creator = std::nullopt,
                              std::optional<values::FourCharCode> type = std::nullopt) {
  FinderInfo info;
  ExtendedFinderInfo ext;
  if (files::Status s = ReadStoredFinderInfo(item, info, ext); !s.ok()) return s.code();
  const std::uint16_t flags = info.Flags();
  info.SetFlags(set ? (flags | bits) : (flags & ~bits));
  if (creator && *creator != 0) info.SetCreator(*creator);
  if (type && *type != 0) info.SetType(*type);
  return WriteStoredFinderInfo(item, info, ext).code();
}

bool IsExistingFolder(const FileRef& folder) {
  auto info = files::GetCatalogInfo(folder, files::LinkMode::kFollow);
  return info.ok() && info->IsFolder();
}

}  // namespace

void SetFinderNotifier(std::shared_ptr<FinderNotifier> notifier) {
  std::lock_guard<std::mutex> lock(g_notifier_lock);
  g_notifier = notifier ? std::move(notifier) : std::make_shared<SilentFinderNotifier>();
}

OSErr TouchItemModificationDate(const FileRef& item) {
  auto info = files::GetCatalogInfo(item);
  if (!info.ok()) return info.code();
  files::FileTime now = files::FileTime::Now();
  if (now == info->modification_time) now.seconds += 1;
  if (files::Status s = files::SetModificationTime(item, now); !s.ok()) return s.code();
  NotifyFolderChanged(info->IsFolder() ? item : item.Parent());
  return files::noErr;
}

OSErr SetFileTypeAndCreator(const FileRef& item, values::FourCharCode creator, values::FourCharCode type) {
  auto info = files::GetCatalogInfo(item, files::LinkMode::kFollow);
  if (!info.ok()) return info.code();
  if (info->IsFolder()) return files::notAFileErr;
  const OSErr err = UpdateStoredFinderFlags(item, true, 0, creator, type);
  if (err != files::noErr) return err;
  return TouchItemModificationDate(item.Parent());
}

OSErr SetFinderFlags(const FileRef& item, bool set, std::uint16_t bits) {
  if (!files::Exists(item)) return files::fnfErr;
  const OSErr err = UpdateStoredFinderFlags(item, set, bits);
  if (err != files::noErr) return err;
  return TouchItemModificationDate(item.Parent());
}

OSErr SetCustomIconFinderFlag(const FileRef& item) {
  return SetFinderFlags(item, true, kFinderFlagHasCustomIcon);
}

OSErr GetItemFinderInfo(const FileRef& item, FinderInfo* info, ExtendedFinderInfo* ext_info,
                        bool* is_folder) {
  CatalogInfoBitmap which = kCatInfoNone;
  if (info) which |= kCatInfoFinderInfo;
  if (ext_info) which |= kCatInfoExtFinderInfo;
  if (is_folder) which |= kCatInfoNodeFlags;
  auto catalog = GetItemCatalogInfo(item, which);
  if (!catalog.ok()) return catalog.code();
  if (info) *info = catalog->finder_info;
  if (ext_info) *ext_info = catalog->ext_finder_info;
  if (is_folder) *is_folder = catalog->IsFolder();
  return files::noErr;
}

OSErr MakeUniqueTempName(std::uint32_t& counter, const FileRef& folder1, const FileRef& folder2,
                         std::string& name) {
  // A missing folder would make every name look free.
  if (!IsExistingFolder(folder1) || !IsExistingFolder(folder2)) return files::dirNFErr;
  for (;;) {
    char candidate[9];
    std::snprintf(candidate, sizeof candidate, "%08X", counter);
    ++counter;
    bool free_everywhere = true;
    for (const FileRef* folder : {&folder1, &folder2}) {
      auto info = files::GetCatalogInfo(folder->Child(candidate));
      if (info.ok()) {
        free_everywhere = false;
        break;
      }
      if (info.code() != files::fnfErr) return info.code();
    }
    if (free_everywhere) {
      name = candidate;
      return files::noErr;
    }
  }
}

OSErr MoveAndRenameItem(const FileRef& item, const FileRef& destination_folder, const std::string* new_name,
                        FileRef* new_item) {
  if (!new_item) return files::paramErr;
  *new_item = item;
  auto item_info = files::GetCatalogInfo(item);
  if (!item_info.ok()) return item_info.code();
  auto dest_info = files::GetCatalogInfo(destination_folder, files::LinkMode::kFollow);
  if (!dest_info.ok()) return dest_info.code();
  if (!dest_info->IsFolder()) return files::dirNFErr;
  if (dest_info->device != item_info->device) return files::diffVolErr;
  std::string name = item.Name();
  if (new_name) {
    if (files::Status s = files::ValidateItemName(*new_name); !s.ok()) return s.code();
    name = *new_name;
  }
  // One renameat2 with RENAME_NOREPLACE moves and renames at once: nothing is ever left under
  // a temporary name, and a taken name fails before anything changed.
  const FileRef target = destination_folder.Child(name);
  if (files::Status s = files::RenameNoReplace(item, target); !s.ok()) return s.code();
  *new_item = target;
  return files::noErr;
}

namespace {

// Renames done so far, undone newest first when a later step fails.
class RenameJournal {
 public:
  files::Status Rename(const FileRef& from, const FileRef& to) {
    files::Status s = files::RenameNoReplace(from, to);
    if (s.ok()) done_.emplace_back(from, to);
    return s;
  }
  void Undo() {
    for (auto it = done_.rbegin(); it != done_.rend(); ++it) files::RenameNoReplace(it->second, it->first);
    done_.clear();
  }

 private:
  std::vector<std::pair<FileRef, FileRef>> done_;
};

OSErr EmulateExchange(const FileRef& a, const FileRef& b) {
  const FileRef folder_a = a.Parent();
  const FileRef folder_b = b.Parent();
  std::uint32_t counter = kTempNameCounterStart;
  std::string temp_a, temp_b;
  if (OSErr err = MakeUniqueTempName(counter, folder_a, folder_b, temp_a); err != files::noErr) return err;
  if (OSErr err = MakeUniqueTempName(counter, folder_a, folder_b, temp_b); err != files::noErr) return err;
  // Each file goes aside under its temporary name and then into the other's place. The
  // catalog information is not copied across: it travels with the contents here, as it does
  // with the atomic exchange, so both ways give the same result.
  RenameJournal journal;
  const std::pair<FileRef, FileRef> steps[] = {
      {a, folder_a.Child(temp_a)},
      {b, folder_b.Child(temp_b)},
      {folder_a.Child(temp_a), b},
      {folder_b.Child(temp_b), a},
  };
  for (const auto& [from, to] : steps) {
    if (files::Status s = journal.Rename(from, to); !s.ok()) {
      journal.Undo();
      return s.code();
    }
  }
  return files::noErr;
}

}  // namespace

OSErr ExchangeFileContents(const FileRef& file_a, const FileRef& file_b, FileRef* new_a, FileRef* new_b) {
  if (!new_a || !new_b) return files::paramErr;
  *new_a = file_a;
  *new_b = file_b;
  auto info_a = files::GetCatalogInfo(file_a);
  if (!info_a.ok()) return info_a.code();
  auto info_b = files::GetCatalogInfo(file_b);
  if (!info_b.ok()) return info_b.code();
  if (info_a->device != info_b->device) return files::diffVolErr;
  if (info_a->IsFolder() || info_b->IsFolder()) return files::notAFileErr;
  if (file_a == file_b) return files::noErr;
  const files::Status atomic = files::ExchangeAtomically(file_a, file_b);
  if (!atomic.IsUnsupported()) return atomic.code();
  // References here name places, so the new references are the old ones: each still names
  // the file that now sits at its name.
  return EmulateExchange(file_a, file_b);
}

void DeleteFolderContents(const FileRef& folder, OSErr& result) {
  // A read-only folder keeps its entries from being deleted: unlock it first. Errors of
  // unlocking are left for the deletions to report.
  if (auto info = files::GetCatalogInfo(folder); info.ok() && !(info->mode & S_IWUSR)) {
    files::SetPermissions(folder, info->mode | S_IRWXU);
  }
  auto iterator = files::FolderIterator::Open(folder);
  if (!iterator.ok()) {
    result = iterator.code();
    return;
  }
  std::vector<files::FolderEntry> entry;
  for (;;) {
    entry.clear();
    const files::Status s = iterator->ReadBulk(1, entry);
    if (s.code() == files::errFSNoMoreItems) {
      result = files::noErr;
      return;
    }
    if (!s.ok()) {
      result = s.code();
      return;
    }
    const files::FolderEntry& item = entry.front();
    if (item.info.IsFolder()) {
      DeleteFolderContents(item.ref, result);
      if (result != files::noErr) return;
    }
    result = files::DeleteItem(item.ref).code();
    if (result != files::noErr) return;
  }
}

OSErr DeleteFolderTree(const FileRef& folder) {
  auto info = files::GetCatalogInfo(folder);
  if (!info.ok()) return info.code();
  if (!info->IsFolder()) return files::dirNFErr;
  OSErr result = files::noErr;
  DeleteFolderContents(folder, result);
  if (result != files::noErr) return result;
  return files::DeleteItem(folder).code();
}

std::optional<std::string> StringWithFSRef(const FileRef& ref) {
  if (ref.empty() || ref.Path().size() >= PATH_MAX) return std::nullopt;
  return ref.Path();
}

bool GetFSRef(const std::string& path, FileRef* ref) {
  if (!ref) return false;
  auto existing = files::MakeExistingRef(path);
  if (!existing.ok()) return false;
  *ref = *existing;
  return true;
}
