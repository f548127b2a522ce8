#include "app/util/files/item_catalog_info.h"

#include <sys/stat.h>

#include <algorithm>

#include "platform/files/xattr.h"

files::Status ReadStoredFinderInfo(const files::FileRef& item, FinderInfo& info, ExtendedFinderInfo& ext) {
  info = FinderInfo{};
  ext = ExtendedFinderInfo{};
  auto bytes = files::GetAttribute(item, kFinderInfoAttribute);
  if (!bytes.ok()) {
    // Nothing stored, or a file system (or a symbolic link) that cannot store it: all zeros.
    if (files::IsAttributeMissing(bytes.status()) || bytes.status().IsUnsupported()) return files::Status();
    return bytes.status();
  }
  const std::size_t n = std::min<std::size_t>(bytes->size(), 32);
  for (std::size_t i = 0; i < n; ++i) {
    if (i < 16) {
      info.bytes[i] = (*bytes)[i];
    } else {
      ext.bytes[i - 16] = (*bytes)[i];
    }
  }
  return files::Status();
}

files::Status WriteStoredFinderInfo(const files::FileRef& item, const FinderInfo& info,
                                    const ExtendedFinderInfo& ext) {
  values::Bytes bytes(info.bytes.begin(), info.bytes.end());
  bytes.insert(bytes.end(), ext.bytes.begin(), ext.bytes.end());
  return files::SetAttribute(item, kFinderInfoAttribute, bytes);
}

ItemCatalogInfo MakeItemCatalogInfo(const files::FileRef& item, const files::CatalogInfo& info,
                                    CatalogInfoBitmap which) {
  ItemCatalogInfo out;
  out.valid = which & kCatInfoAll;
  // A link to a folder acts as the folder, as an alias to a folder did.
  bool is_folder = info.IsFolder();
  if (info.is_symlink && !is_folder) is_folder = files::IsFolder(item);
  if (is_folder) out.node_flags |= kNodeIsFolder;
  if (!(info.mode & S_IWUSR)) out.node_flags |= kNodeIsLocked;
  if (which & (kCatInfoFinderInfo | kCatInfoExtFinderInfo)) {
    ReadStoredFinderInfo(item, out.finder_info, out.ext_finder_info);
    std::uint16_t flags = out.finder_info.Flags();
    if (info.hidden) flags |= kFinderFlagIsInvisible;
    if (info.is_symlink) flags |= kFinderFlagIsAlias;
    out.finder_info.SetFlags(flags);
  }
  out.data_logical_size = is_folder ? 0 : info.size;
  out.data_physical_size = is_folder ? 0 : info.allocated_size;
  out.user_id = info.uid;
  out.group_id = info.gid;
  out.mode = static_cast<std::uint16_t>(info.mode);
  if (info.creation_time) out.create_date = info.creation_time->ToDate();
  out.attribute_mod_date = info.change_time.ToDate();
  out.content_mod_date = info.modification_time.ToDate();
  out.access_date = info.access_time.ToDate();
  out.volume = info.device;
  out.node_id = info.inode;
  return out;
}

files::Result<ItemCatalogInfo> GetItemCatalogInfo(const files::FileRef& item, CatalogInfoBitmap which) {
  auto info = files::GetCatalogInfo(item);
  if (!info.ok()) return info.status();
  return MakeItemCatalogInfo(item, *info, which);
}
