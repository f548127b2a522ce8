#pragma once
// The local-files pane: a list of the items of one local folder, shown beside a remote
// server's list when that server uses split panes. Folders open in place with their
// disclosure triangles; a double click on a folder shows it as the pane's folder. Items
// dragged from the download list or a remote browser and dropped on a folder are
// downloaded into it (FileBrowserAcceptDrop).
//
// Each shown item is a FileBrowserNode owned by its parent's node; the pane owns the node
// of the folder it shows. A folder's children are read the first time it opens, at most
// kFileBrowserMaxChildren of them (a folder with more shows the first ones by name), and
// hidden items (names beginning with ".") never appear.
//
// Columns: Name (always), then the ones of the preference "FB columns" (ids in array
// order; without it Date Modified, Kind and Size).
//
// Main thread only.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/catalog_info.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/lists/list_view.h"
#include "platform/toolbox/views/drag.h"
#include "platform/values/value.h"

namespace toolbox {
class Window;
}  // namespace toolbox

namespace ui {

inline constexpr toolbox::ListPropertyID kFBColName = 1024;
inline constexpr toolbox::ListPropertyID kFBColPermissions = 1025;
inline constexpr toolbox::ListPropertyID kFBColKind = 1026;
inline constexpr toolbox::ListPropertyID kFBColDate = 1027;
inline constexpr toolbox::ListPropertyID kFBColSize = 1028;
inline constexpr toolbox::ListPropertyID kFBColOwner = 1029;
inline constexpr toolbox::ListPropertyID kFBColGroup = 1030;

inline constexpr std::size_t kFileBrowserMaxChildren = 65536;

struct FileBrowserNode {
  std::string path;          // the item
  std::string resolvedPath;  // the item, or the folder a link to a folder leads to
  std::string name;
  files::CatalogInfo info;
  bool folder = false;     // opens as a folder (a link to a folder included)
  bool container = false;  // opens in place (a real folder, not a link)
  FileBrowserNode* parent = nullptr;
  std::vector<std::unique_ptr<FileBrowserNode>> children;
  bool childrenLoaded = false;
  bool expanded = false;

  toolbox::ListItemID id() const { return reinterpret_cast<toolbox::ListItemID>(this); }
};

class FileBrowser {
 public:
  // FileBrowserCreate: the pane as a control of `window` at `bounds`, showing
  // `startFolder` (the user's Desktop folder when none or not a folder).
  FileBrowser(toolbox::Window& window, const toolbox::ControlSpec& desc,
              const std::optional<std::string>& startFolder);
  ~FileBrowser();
  FileBrowser(const FileBrowser&) = delete;
  FileBrowser& operator=(const FileBrowser&) = delete;

  toolbox::Control* control() const { return control_; }
  toolbox::ListView& list() { return list_; }

  // FileBrowserSetFolder: false (and nothing changes) when the path is not a folder.
  bool SetFolder(const std::string& path);
  // FileBrowserGetFolder: nothing when the pane shows no folder.
  std::optional<std::string> GetFolder() const;
  // FileBrowserCopyOpenFolders: name -> the same for its open subfolders, for every
  // expanded folder below the shown one.
  values::Dictionary CopyOpenFolders() const;
  // FileBrowserRestoreOpenFolders: opens the named folders again, level by level.
  void RestoreOpenFolders(const values::Dictionary& open);
  // The folder the pane shows changed (the path bar above it follows).
  void SetFolderChangedHandler(std::function<void(const std::string& folder)> handler) {
    folderChanged_ = std::move(handler);
  }

  // The columns' order and widths and the sort, as the preferences keep them between
  // showings ("browser_db_settings"); applying takes what it knows of a stored value and
  // leaves the rest as it is.
  values::Dictionary CopyUserState() const;
  void ApplyUserState(const values::Value& state);

  // The names of the rows shown, in row order, children after their folder.
  std::vector<std::string> ShownNames() const;
  FileBrowserNode* NodeForItem(toolbox::ListItemID item) const;
  // FileBrowserFirstSelectedItem
  FileBrowserNode* FirstSelectedItem() const;
  // Where remote items dropped on the pane go: the row's folder (a file: its folder), else
  // the pane's folder.
  std::optional<std::string> DropFolderForItem(toolbox::ListItemID item) const;

 private:
  toolbox::Status ItemData(toolbox::ListItemID item, toolbox::ListPropertyID property,
                           toolbox::ListItemData& data, bool set);
  bool Compare(toolbox::ListItemID first, toolbox::ListItemID second, toolbox::ListPropertyID property) const;
  void Notify(toolbox::ListItemID item, toolbox::ListNotification what);
  void Expand(FileBrowserNode& node);

  toolbox::Control* control_ = nullptr;
  toolbox::ListView list_;
  std::unique_ptr<FileBrowserNode> root_;
  std::function<void(const std::string&)> folderChanged_;
};

// Loads the node's children (once): every item but the hidden ones, by name.
void FileBrowserNodeLoadChildren(FileBrowserNode& node);

// FileBrowserDragHasRemoteItems: some item is a queue item, an online-disk node or an
// FTP node.
bool FileBrowserDragHasRemoteItems(const toolbox::Drag& drag);
// FileBrowserAcceptDrop: the dragged remote items are downloaded into `folder` (queue
// items as new downloads, FTP folders through their connection); true when any was taken.
bool FileBrowserAcceptDrop(const toolbox::Drag& drag, const std::string& folder);

}  // namespace ui
