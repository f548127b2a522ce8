#pragma once
// KWDirectoryEnumerator: the entries of one folder (not its subfolders), read lazily
// cacheSize at a time, with the catalog information of the kinds asked for cached beside
// them. It reads the folder once; there is no rewind. Errors go to the system log and then
// the enumerator behaves as exhausted.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/util/files/item_catalog_info.h"
#include "platform/files/folder_iterator.h"
#include "platform/values/value.h"

// Attribute keys of `FileAttributes`.
inline constexpr const char kNSFileType[] = "NSFileType";
inline constexpr const char kNSFileTypeDirectory[] = "NSFileTypeDirectory";
inline constexpr const char kNSFileTypeRegular[] = "NSFileTypeRegular";
inline constexpr const char kNSFileSize[] = "NSFileSize";
inline constexpr const char kNSFileHFSTypeCode[] = "NSFileHFSTypeCode";
inline constexpr const char kNSFileHFSCreatorCode[] = "NSFileHFSCreatorCode";
inline constexpr const char kNSFileOwnerAccountID[] = "NSFileOwnerAccountID";
inline constexpr const char kNSFileGroupOwnerAccountID[] = "NSFileGroupOwnerAccountID";
inline constexpr const char kNSFilePosixPermissions[] = "NSFilePosixPermissions";
inline constexpr const char kNSFileCreationDate[] = "NSFileCreationDate";
inline constexpr const char kNSFileModificationDate[] = "NSFileModificationDate";

// Where the enumerator's log lines go; the default writes them to standard error, which
// the session's journal keeps. nullptr restores the default.
using SystemLogSink = std::function<void(std::string_view line)>;
void SetDirectoryEnumeratorLog(SystemLogSink sink);

class KWDirectoryEnumerator {
 public:
  static constexpr std::size_t kDefaultCacheSize = 16;

  // Null (after logging the error) when the path has no item or is not a readable folder.
  static std::unique_ptr<KWDirectoryEnumerator> InitWithPath(const std::string& path,
                                                             std::size_t cache_size = kDefaultCacheSize);

  // The next entry's full path; nothing at the end.
  std::optional<std::string> NextObjectFullPath();
  // The next entry's path relative to the folder (its name).
  std::optional<std::string> NextObject();

  // Attributes of the current entry (the one last returned), from its cached information.
  values::Dictionary FileAttributes() const;
  bool IsInvisible() const;
  bool IsDirectory() const;

  void SetDesiredInfo(CatalogInfoBitmap which);
  CatalogInfoBitmap DesiredInfo() const { return which_info_; }
  void SetCacheSize(std::size_t entries);

 private:
  KWDirectoryEnumerator(files::FolderIterator iterator, std::size_t prefix_len, std::size_t cache_size);
  const ItemCatalogInfo* CurrentInfo() const;

  files::FolderIterator iterator_;
  std::vector<files::FileRef> cache_;
  std::vector<ItemCatalogInfo> info_cache_;  // beside cache_ while information is wanted
  std::size_t cache_size_;
  std::size_t curr_index_ = 0;
  CatalogInfoBitmap which_info_ = kCatInfoNone;
  std::size_t prefix_len_;
  bool exhausted_ = false;
};
