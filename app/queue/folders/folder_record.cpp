#include "app/queue/folders/folder_record.h"

#include "app/queue/record/queue_tables.h"
#include "app/queue/smartfolders/smart_folder.h"

namespace queue {
namespace {

constexpr std::size_t kOptionsBytes = kMaxFolderColumns * 4 + kMaxFolderColumns * 2;  // 96

values::Value Int64(std::int64_t v) {
  return values::Value(values::Number::Int64(v));
}

}  // namespace

values::Bytes FolderOptionsToBytes(const FolderColumnOptions& options) {
  values::Bytes bytes;
  bytes.reserve(kOptionsBytes);
  for (std::uint32_t p : options.props) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(p >> shift));
  }
  for (std::uint16_t s : options.sizes) {
    bytes.push_back(static_cast<std::uint8_t>(s >> 8));
    bytes.push_back(static_cast<std::uint8_t>(s));
  }
  return bytes;
}

std::optional<FolderColumnOptions> FolderOptionsFromBytes(const values::Bytes& bytes) {
  if (bytes.size() != kOptionsBytes) return std::nullopt;
  FolderColumnOptions options;
  std::size_t at = 0;
  for (auto& p : options.props) {
    p = (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
        (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
    at += 4;
  }
  for (auto& s : options.sizes) {
    s = static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
    at += 2;
  }
  return options;
}

values::Value CopyFolderRecord(TRFolder& folder, std::shared_ptr<const std::vector<DownloadUID>>* itemUIDs) {
  values::Value record(values::Dictionary{});
  record.Put("UID", Int64(folder.uid()));
  record.Put("Name", folder.name());
  record.Put("Flags", Int64(folder.flags()));
  values::Array columns;
  const FolderColumnOptions& options = folder.options();
  for (std::size_t i = 0; i < kMaxFolderColumns && options.props[i] != 0; ++i) {
    columns.push_back(values::Value(values::Dictionary{{"prop", Int64(options.props[i])},
                                                       {"size", values::Number::Int32(options.sizes[i])}}));
  }
  record.Put("CFOptions", std::move(columns));
  record.Put("Options", values::Data{FolderOptionsToBytes(options)});
  record.Put("Sort", Int64(folder.sort()));
  record.Put("SortOrder", Int64(folder.sortOrder()));
  record.Put("lf", Int64(folder.lastFolder()));
  if (folder.flags() & kFolderFlagSmart) {
    if (folder.archivedPredicate()) record.Put("predicate", *folder.archivedPredicate());
    if (folder.savedSearchAlias()) record.Put("aliasData", values::Data{*folder.savedSearchAlias()});
  } else if (folder.HasItems() && itemUIDs != nullptr) {
    std::lock_guard lock(folder.itemsLock());
    *itemUIDs = folder.savedItemUIDs();
    if (!*itemUIDs) {
      const TRFolder& listed = folder;
      auto uids = std::make_shared<std::vector<DownloadUID>>();
      uids->reserve(listed.items().size());
      for (const auto& entry : listed.items()) uids->push_back(entry.first);
      folder.setSavedItemUIDs(uids);
      *itemUIDs = std::move(uids);
    }
  } else if (folder.HasItems()) {
    values::Array items;
    std::lock_guard lock(folder.itemsLock());
    items.reserve(folder.items().size());
    for (const auto& [uid, wrapper] : folder.items()) items.push_back(Int64(uid));
    record.Put("items", std::move(items));
  }
  return record;
}

FolderRef CreateFolderFromRecord(const values::Value& record) {
  std::int64_t uid = 0;
  if (record.GetInt64("UID", uid) != values::Lookup::kOk) return nullptr;
  FolderRef folder;
  if (IsDateFolderID(static_cast<ViewID>(uid))) {
    // The date folders' rules are built in; a stored rule is not read.
    folder = CreateDateFolder(static_cast<ViewID>(uid));
  } else if (const values::Value* predicate = record.Find("predicate")) {
    std::optional<values::Bytes> alias;
    values::Bytes bytes;
    if (record.GetData("aliasData", bytes) == values::Lookup::kOk) alias = std::move(bytes);
    // A rule that cannot be read drops its folder.
    folder = TRSmartFolderCreateFromArchivedPredicate(*predicate, alias);
    if (!folder) return nullptr;
  } else {
    folder = std::make_shared<TRFolder>();
  }
  folder->setHostID(0);
  folder->setUid(static_cast<ViewID>(uid));

  std::string name;
  record.GetString("Name", name);
  if (name.empty()) name = "Folder " + std::to_string(folder->uid());
  folder->setName(name);

  std::int64_t n = 0;
  if (record.GetInt64("Flags", n) == values::Lookup::kOk) folder->setFlags(static_cast<std::uint32_t>(n));
  if (dynamic_cast<TRSmartFolder*>(folder.get())) folder->setFlags(folder->flags() | kFolderFlagSmart);
  folder->setSort(record.GetInt64("Sort", n) == values::Lookup::kOk ? static_cast<std::uint32_t>(n) : 1);
  folder->setSortOrder(record.GetInt64("SortOrder", n) == values::Lookup::kOk ? static_cast<std::uint16_t>(n)
                                                                              : 1);
  folder->setLastFolder(record.GetInt64("lf", n) == values::Lookup::kOk ? static_cast<std::uint32_t>(n) : 0);

  FolderColumnOptions options;
  const values::Array* columns = nullptr;
  values::Bytes bytes;
  if (record.GetArray("CFOptions", columns) == values::Lookup::kOk) {
    std::size_t next = 0;
    for (const values::Value& entry : *columns) {
      if (next == kMaxFolderColumns) break;
      std::int64_t prop = 0;
      if (!entry.IsDictionary() || entry.GetInt64("prop", prop) != values::Lookup::kOk) continue;
      std::int64_t size = 120;
      entry.GetInt64("size", size);
      options.props[next] = static_cast<std::uint32_t>(prop);
      options.sizes[next] = static_cast<std::uint16_t>(size);
      ++next;
    }
  } else if (record.GetData("Options", bytes) == values::Lookup::kOk && FolderOptionsFromBytes(bytes)) {
    options = *FolderOptionsFromBytes(bytes);
  } else {
    options.props = {1025, 1037, 1027, 1036};
  }
  folder->setOptions(options);

  const values::Array* items = nullptr;
  if ((folder->uid() == kMyDownloadsViewID || IsUserFolderID(folder->uid())) &&
      record.GetArray("items", items) == values::Lookup::kOk) {
    std::lock_guard lock(folder->itemsLock());
    for (const values::Value& item : *items) {
      const values::Number* number = item.AsNumber();
      if (number == nullptr) continue;
      WrapperRef wrapper = LookUpDownloadWrapper(static_cast<DownloadUID>(number->AsInt64()));
      if (!wrapper) continue;
      folder->items().emplace(wrapper->uid(), wrapper);
      wrapper->element().foldersContainedIn.insert(folder->uid());
    }
  }
  return folder;
}

}  // namespace queue
