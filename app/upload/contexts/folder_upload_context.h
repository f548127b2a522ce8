#pragma once
// The walk of a folder upload: one context per local folder hands the engine one file
// at a time and, once its files are all out, one sub-context per sub-folder, so that a
// folder goes up level by level. Every context of one upload shares the set of relative
// paths already sent: a walk started again with that set (after a dropped connection)
// skips what went, and two contexts never hand out the same path twice.
//
// Symbolic links are never followed: a link (to a file or a folder) is passed over, so
// a link cannot send files from outside the folder nor make the walk go round in a loop.
// A folder that cannot be read yields nothing.
//
// Worker thread of one upload.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files/folder_iterator.h"

namespace upload {

class FolderUploadContext {
 public:
  // `basePath`: this folder's path relative to the uploaded folder ("" for the folder itself).
  FolderUploadContext(std::string folderPath, std::string basePath,
                      std::shared_ptr<std::set<std::string>> pathsUploaded);

  struct NextFile {
    std::string path;  // local path
    std::string name;
    std::int64_t size = 0;
  };
  // The previous file handed out counts as sent; then the next file not yet sent, or
  // nothing at the end of this folder.
  std::optional<NextFile> NextFileInfo();
  // One new context per sub-folder met (and not yet sent); emptied by the call.
  std::vector<std::shared_ptr<FolderUploadContext>> ClientsForSubUploads();

  const std::string& folderPath() const { return folderPath_; }
  const std::string& basePath() const { return basePath_; }
  std::string FolderName() const;

 private:
  std::string Relative(const std::string& name) const;

  std::string folderPath_;
  std::string basePath_;
  std::shared_ptr<std::set<std::string>> pathsUploaded_;
  std::optional<std::string> currentFile_;
  std::optional<files::FolderIterator> enumerator_;
  bool opened_ = false;
  std::vector<files::FolderEntry> pending_;
  std::size_t next_ = 0;
  std::vector<std::string> subFolderNames_;
};

// The sum of the sizes of the regular files of the tree (links not followed).
std::int64_t FolderTreeSize(const std::string& folderPath);

}  // namespace upload
