#pragma once
// One request of an FTP connection's queue: the remote browser and the multi-file
// uploads queue these on one logged-in connection, and they run one after the other
// (ftp_request_queue.h).
//
// Paths are stored without one leading "/", relative to the base path the login found
// ("/"); a path that begins with "%2F" is absolute whatever the base. The caller's own
// objects (the browser's nodes, an upload's client) ride along untouched.

#include <memory>
#include <optional>
#include <string>

namespace engine {

enum class FTPRequestType : int {
  kListFolder = 1,
  kRemoveFolder = 2,
  kDeleteFile = 3,
  kCreateFolder = 4,
  kChangePermissions = 5,
  kUploadFiles = 6,
  kMoveItem = 7,
};

struct FTPRequest {
  FTPRequestType type = FTPRequestType::kListFolder;
  std::string path;                            // folder to list, upload into, create in; item to change
  std::optional<std::string> new_folder_name;  // UploadFiles: a folder to make inside `path` first
  bool no_size_check = false;                  // UploadFiles: the folder is new, its files cannot exist yet
  std::string name;                            // CreateFolder: the new folder's name
  std::string old_path;                        // MoveItem
  std::string new_path;
  std::optional<std::string> change_to;  // MoveItem: directory to enter before renaming
  bool old_path_base_needed = false;     // queued before login: prefix the base path on start
  bool new_path_base_needed = false;
  int mode = 0;          // ChangePermissions
  bool is_link = false;  // RemoveFolder: a symbolic link to a folder goes by DELE

  std::shared_ptr<void> client;
  std::shared_ptr<void> parent;
  std::shared_ptr<void> item;
  std::shared_ptr<void> old_parent;
  std::shared_ptr<void> new_parent;
};

}  // namespace engine
