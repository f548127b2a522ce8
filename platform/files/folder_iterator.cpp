#include "platform/files/folder_iterator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

namespace files {

namespace {

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

}  // namespace

Result<FolderIterator> FolderIterator::Open(const FileRef& folder) {
  if (folder.empty()) return Status(paramErr);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::FromErrno(errno);
  FolderIterator it;
  it.dir_.Reset(fd);
  it.folder_ = folder;
  auto info = GetCatalogInfoOfDescriptor(fd);
  if (!info.ok()) return info.status();
  it.opened_mtime_ = info->modification_time;
  it.opened_ctime_ = info->change_time;
  // fdopendir takes over the descriptor it is given, so it reads a duplicate.
  const int list_fd = ::dup(fd);
  if (list_fd < 0) return Status::FromErrno(errno);
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(list_fd));
  if (!dir) {
    const int error = errno;
    ::close(list_fd);
    return Status::FromErrno(error);
  }
  errno = 0;
  while (const dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      it.names_.emplace_back(entry->d_name);
    }
    errno = 0;
  }
  if (errno != 0) return Status::FromErrno(errno);
  std::sort(it.names_.begin(), it.names_.end());
  return it;
}

Status FolderIterator::ReadBulk(std::size_t max_count, std::vector<FolderEntry>& out) {
  if (!dir_.valid()) return Status(paramErr);
  std::size_t added = 0;
  while (added < max_count && next_ < names_.size()) {
    const std::string& name = names_[next_++];
    auto info = GetCatalogInfoAt(dir_.get(), name.c_str());
    if (!info.ok()) {
      if (info.status().sys_errno() == ENOENT) continue;  // deleted since the folder was listed
      if (added > 0) {
        --next_;  // report it on the next call, after the entries already read
        break;
      }
      return info.status();
    }
    out.push_back(FolderEntry{name, folder_.Child(name), std::move(*info)});
    ++added;
  }
  if (added == 0) return Status(errFSNoMoreItems);
  return Status();
}

bool FolderIterator::ContainerChanged() const {
  if (!dir_.valid()) return false;
  auto info = GetCatalogInfoOfDescriptor(dir_.get());
  return info.ok() && (info->modification_time != opened_mtime_ || info->change_time != opened_ctime_);
}

Result<std::vector<FolderEntry>> ReadFolder(const FileRef& folder) {
  auto it = FolderIterator::Open(folder);
  if (!it.ok()) return it.status();
  std::vector<FolderEntry> entries;
  for (;;) {
    Status s = it->ReadBulk(256, entries);
    if (s.code() == errFSNoMoreItems) break;
    if (!s.ok()) return s;
  }
  return entries;
}

namespace {

struct Walker {
  const WalkVisitor& visit;
  const WalkOptions& options;
  std::set<std::pair<std::uint64_t, std::uint64_t>> entered;  // folders on the current path
  bool stopped = false;

  Status Walk(const FileRef& folder, int depth) {
    auto it = FolderIterator::Open(folder);
    if (!it.ok()) {
      if (options.skip_unreadable && it.code() == afpAccessDenied) return Status();
      return it.status();
    }
    std::vector<FolderEntry> batch;
    for (;;) {
      batch.clear();
      Status s = it->ReadBulk(64, batch);
      if (s.code() == errFSNoMoreItems) return Status();
      if (!s.ok()) return s;
      for (const FolderEntry& entry : batch) {
        const WalkAction action = visit(entry, depth);
        if (action == WalkAction::kStop) {
          stopped = true;
          return Status();
        }
        if (action == WalkAction::kSkipChildren) continue;
        if (options.max_depth >= 0 && depth >= options.max_depth) continue;
        bool descend = entry.info.IsFolder();
        std::pair<std::uint64_t, std::uint64_t> id{entry.info.device, entry.info.inode};
        if (!descend && entry.info.is_symlink && options.follow_links) {
          auto target = GetCatalogInfo(entry.ref, LinkMode::kFollow);
          if (target.ok() && target->IsFolder()) {
            descend = true;
            id = {target->device, target->inode};
          }
        }
        if (!descend || !entered.insert(id).second) continue;  // a link back up the tree
        Status inner = Walk(entry.ref, depth + 1);
        entered.erase(id);
        if (!inner.ok()) return inner;
        if (stopped) return Status();
      }
    }
  }
};

}  // namespace

Status WalkTree(const FileRef& root, const WalkVisitor& visit, const WalkOptions& options) {
  if (!visit) return Status(paramErr);
  Walker walker{visit, options, {}, false};
  if (auto info = GetCatalogInfo(root, LinkMode::kFollow); info.ok()) {
    walker.entered.insert({info->device, info->inode});
  }
  return walker.Walk(root, 1);
}

}  // namespace files
