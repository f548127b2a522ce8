#include "app/upload/contexts/folder_upload_context.h"

#include <algorithm>

namespace upload {

namespace {

constexpr std::size_t kEntriesPerRead = 256;

std::string Join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  return a.back() == '/' ? a + b : a + "/" + b;
}

}  // namespace

FolderUploadContext::FolderUploadContext(std::string folderPath, std::string basePath,
                                         std::shared_ptr<std::set<std::string>> pathsUploaded)
    : folderPath_(std::move(folderPath)),
      basePath_(std::move(basePath)),
      pathsUploaded_(pathsUploaded ? std::move(pathsUploaded) : std::make_shared<std::set<std::string>>()) {}

std::string FolderUploadContext::Relative(const std::string& name) const {
  return Join(basePath_, name);
}

std::string FolderUploadContext::FolderName() const {
  std::string p = folderPath_;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::optional<FolderUploadContext::NextFile> FolderUploadContext::NextFileInfo() {
  if (currentFile_) {
    pathsUploaded_->insert(*currentFile_);
    currentFile_.reset();
  }
  if (!opened_) {
    opened_ = true;
    auto it = files::FolderIterator::Open(files::FileRef(folderPath_));
    if (it.ok()) enumerator_.emplace(std::move(it.value()));
  }
  while (true) {
    if (next_ >= pending_.size()) {
      pending_.clear();
      next_ = 0;
      if (!enumerator_ || !enumerator_->ReadBulk(kEntriesPerRead, pending_).ok() || pending_.empty()) {
        enumerator_.reset();
        return std::nullopt;
      }
      // A stable order: the same folder is sent in the same order after a restart.
      std::sort(pending_.begin(), pending_.end(),
                [](const files::FolderEntry& a, const files::FolderEntry& b) { return a.name < b.name; });
    }
    const files::FolderEntry& entry = pending_[next_++];
    if (entry.info.is_symlink) continue;
    const std::string relative = Relative(entry.name);
    if (pathsUploaded_->count(relative) != 0) continue;
    if (entry.info.IsFile()) {
      currentFile_ = relative;
      return NextFile{Join(folderPath_, entry.name), entry.name, static_cast<std::int64_t>(entry.info.size)};
    }
    if (entry.info.IsFolder()) subFolderNames_.push_back(entry.name);
  }
}

std::vector<std::shared_ptr<FolderUploadContext>> FolderUploadContext::ClientsForSubUploads() {
  std::vector<std::shared_ptr<FolderUploadContext>> contexts;
  std::sort(subFolderNames_.begin(), subFolderNames_.end());
  for (const std::string& name : subFolderNames_) {
    contexts.push_back(
        std::make_shared<FolderUploadContext>(Join(folderPath_, name), Relative(name), pathsUploaded_));
  }
  subFolderNames_.clear();
  return contexts;
}

std::int64_t FolderTreeSize(const std::string& folderPath) {
  std::int64_t total = 0;
  files::WalkOptions options;
  options.follow_links = false;
  (void)files::WalkTree(
      files::FileRef(folderPath),
      [&](const files::FolderEntry& entry, int) {
        if (entry.info.IsFile() && !entry.info.is_symlink)
          total += static_cast<std::int64_t>(entry.info.size);
        return files::WalkAction::kContinue;
      },
      options);
  return total;
}

}  // namespace upload
