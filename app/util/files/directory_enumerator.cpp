#include "app/util/files/directory_enumerator.h"

#include <cstdio>
#include <mutex>
#include <utility>

#include "app/util/files/file_system_helpers.h"

using files::OSErr;

namespace {

std::mutex g_log_lock;
SystemLogSink g_log;

void Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_log_lock);
  if (g_log) {
    g_log(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

void LogError(const char* where, OSErr err) {
  Log(std::string(where) + std::to_string(err));
}

}  // namespace

void SetDirectoryEnumeratorLog(SystemLogSink sink) {
  std::lock_guard<std::mutex> lock(g_log_lock);
  g_log = std::move(sink);
}

KWDirectoryEnumerator::KWDirectoryEnumerator(files::FolderIterator iterator, std::size_t prefix_len,
                                             std::size_t cache_size)
    : iterator_(std::move(iterator)), cache_size_(cache_size), prefix_len_(prefix_len) {}

std::unique_ptr<KWDirectoryEnumerator> KWDirectoryEnumerator::InitWithPath(const std::string& path,
                                                                           std::size_t cache_size) {
  files::FileRef ref;
  if (!GetFSRef(path, &ref)) {
    LogError("KWDirectoryEnumerator::initWithPath: - MacOS Error ID= ", files::fnfErr);
    return nullptr;
  }
  auto iterator = files::FolderIterator::Open(ref);
  if (!iterator.ok()) {
    LogError("KWDirectoryEnumerator::initWithPath: - MacOS Error ID= ", iterator.code());
    return nullptr;
  }
  const std::string folder_path = StringWithFSRef(ref).value_or("");
  const std::size_t prefix_len =
      folder_path.size() + (!folder_path.empty() && folder_path.back() == '/' ? 0 : 1);
  return std::unique_ptr<KWDirectoryEnumerator>(
      new KWDirectoryEnumerator(std::move(*iterator), prefix_len, cache_size));
}

std::optional<std::string> KWDirectoryEnumerator::NextObjectFullPath() {
  if (exhausted_) return std::nullopt;
  if (curr_index_ >= cache_.size()) {
    cache_.clear();
    info_cache_.clear();
    curr_index_ = 0;
    if (cache_size_ == 0) {
      Log("KWDirectoryEnumerator::nextObjectFullPath - FSCatalogInfoBulk returned 0 items, but not "
          "errFSNoMoreItems.");
      exhausted_ = true;
      return std::nullopt;
    }
    std::vector<files::FolderEntry> entries;
    const files::Status s = iterator_.ReadBulk(cache_size_, entries);
    if (!s.ok()) {
      if (s.code() != files::errFSNoMoreItems)
        LogError("KWDirectoryEnumerator::nextObjectFullPath - MacOS Error ID= ", s.code());
      exhausted_ = true;
      return std::nullopt;
    }
    for (const files::FolderEntry& entry : entries) {
      cache_.push_back(entry.ref);
      if (which_info_ != kCatInfoNone)
        info_cache_.push_back(MakeItemCatalogInfo(entry.ref, entry.info, which_info_));
    }
  }
  return StringWithFSRef(cache_[curr_index_++]);
}

std::optional<std::string> KWDirectoryEnumerator::NextObject() {
  auto full = NextObjectFullPath();
  if (!full) return std::nullopt;
  return full->size() >= prefix_len_ ? full->substr(prefix_len_) : std::string();
}

const ItemCatalogInfo* KWDirectoryEnumerator::CurrentInfo() const {
  if (curr_index_ == 0 || curr_index_ > info_cache_.size()) return nullptr;
  return &info_cache_[curr_index_ - 1];
}

values::Dictionary KWDirectoryEnumerator::FileAttributes() const {
  values::Dictionary attrs;
  const ItemCatalogInfo* info = CurrentInfo();
  if (!info) return attrs;
  const CatalogInfoBitmap kinds = info->valid & which_info_;
  if (kinds & kCatInfoNodeFlags) {
    attrs["KWItemIsLocked"] = static_cast<bool>(info->node_flags & kNodeIsLocked);
    attrs[kNSFileType] = info->IsFolder() ? kNSFileTypeDirectory : kNSFileTypeRegular;
  }
  if (kinds & kCatInfoFinderInfo) {
    const std::uint16_t flags = info->finder_info.Flags();
    attrs["KWItemIsInvisible"] = static_cast<bool>(flags & kFinderFlagIsInvisible);
    attrs["KWItemIsAlias"] = static_cast<bool>(flags & kFinderFlagIsAlias);
    attrs["KWItemHasBNDL"] = static_cast<bool>(flags & kFinderFlagHasBundle);
    attrs["KWItemNameIsLocked"] = static_cast<bool>(flags & kFinderFlagNameLocked);
    attrs["KWItemIsStationery"] = static_cast<bool>(flags & kFinderFlagIsStationery);
    attrs["KWItemHasCustomIcon"] = static_cast<bool>(flags & kFinderFlagHasCustomIcon);
    attrs["KWLabelNumber"] = static_cast<int>((flags & kFinderFlagLabelMask) >> 1);
    attrs[kNSFileHFSTypeCode] = static_cast<unsigned>(info->finder_info.Type());
    attrs[kNSFileHFSCreatorCode] = static_cast<unsigned>(info->finder_info.Creator());
  }
  if (kinds & kCatInfoDataSizes) {
    attrs[kNSFileSize] = static_cast<unsigned long long>(info->data_logical_size);
    attrs["KWPhysicalFileSize"] = static_cast<unsigned long long>(info->data_physical_size);
  }
  if (kinds & kCatInfoRsrcSizes) {
    attrs["KWLogicalResFileSize"] = static_cast<unsigned long long>(info->rsrc_logical_size);
    attrs["KWPhysicalResFileSize"] = static_cast<unsigned long long>(info->rsrc_physical_size);
  }
  if ((kinds & kCatInfoExtFinderInfo) && !(info->ext_finder_info.Flags() & kExtendedFlagsAreInvalid)) {
    attrs["KWItemHasCustomBadge"] =
        static_cast<bool>(info->ext_finder_info.Flags() & kExtendedFlagHasCustomBadge);
    attrs["KWItemHasRoutingInfo"] =
        static_cast<bool>(info->ext_finder_info.Flags() & kExtendedFlagHasRoutingInfo);
  }
  if (kinds & kCatInfoPermissions) {
    attrs[kNSFileOwnerAccountID] = static_cast<unsigned long>(info->user_id);
    attrs[kNSFileGroupOwnerAccountID] = static_cast<unsigned long>(info->group_id);
    attrs[kNSFilePosixPermissions] = static_cast<std::int16_t>(info->mode);
  }
  if ((kinds & kCatInfoCreateDate) && info->create_date) attrs[kNSFileCreationDate] = *info->create_date;
  if (kinds & kCatInfoAttrModDate) attrs["KWFileAttrModificationDate"] = info->attribute_mod_date;
  if (kinds & kCatInfoContentModDate) attrs[kNSFileModificationDate] = info->content_mod_date;
  if (kinds & kCatInfoAccessDate) attrs["KWFileAccessDate"] = info->access_date;
  // No backup date is kept on this system, so "KWFileBackupDate" never appears.
  return attrs;
}

bool KWDirectoryEnumerator::IsInvisible() const {
  const ItemCatalogInfo* info = CurrentInfo();
  return (which_info_ & kCatInfoFinderInfo) && info && (info->valid & kCatInfoFinderInfo) &&
         (info->finder_info.Flags() & kFinderFlagIsInvisible);
}

bool KWDirectoryEnumerator::IsDirectory() const {
  const ItemCatalogInfo* info = CurrentInfo();
  return (which_info_ & kCatInfoNodeFlags) && info && info->IsFolder();
}

void KWDirectoryEnumerator::SetDesiredInfo(CatalogInfoBitmap which) {
  which_info_ = which;
  if (which == kCatInfoNone) info_cache_.clear();
}

void KWDirectoryEnumerator::SetCacheSize(std::size_t entries) {
  // Entries already read but not yet handed out stay: the new size applies from the next
  // read on, so no entry of the folder is lost.
  cache_size_ = entries;
}
