#include "app/ui/local_pane/file_browser.h"

#include <grp.h>
#include <pwd.h>

#include <algorithm>
#include <map>

#include "app/browser/services/remote_rows.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/ui/main_list/list_item_data.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "app/util/text/byte_count.h"
#include "platform/files/folder_iterator.h"
#include "platform/files/standard_folders.h"
#include "platform/toolbox/theme/icons.h"
#include "platform/toolbox/windows/window.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/string_compare.h"

namespace ui {

namespace {

using toolbox::ListColumnDesc;
using toolbox::ListColumnKind;
using toolbox::ListItemID;
using toolbox::ListPropertyID;

constexpr values::FourCharCode kFlavorQueueItem = values::FourCC("QEl_");
constexpr values::FourCharCode kFlavorDotMacNode = values::FourCC(".McN");
constexpr values::FourCharCode kFlavorFTPNode = values::FourCC("FTPN");

// Seconds between 1970 and 2001, the list's date origin.
constexpr double kUnixToAbsolute = 978307200.0;

struct ColumnInfo {
  ListPropertyID id;
  const char* title;
  ListColumnKind kind;
  int minWidth, maxWidth;
};
constexpr ColumnInfo kColumns[] = {
    {kFBColName, "Name", ListColumnKind::kIconAndText, 60, 300},
    {kFBColPermissions, "Permissions", ListColumnKind::kText, 60, 100},
    {kFBColKind, "Kind", ListColumnKind::kText, 60, 250},
    {kFBColDate, "Date Modified", ListColumnKind::kDate, 60, 200},
    {kFBColSize, "Size", ListColumnKind::kText, 60, 200},
    {kFBColOwner, "Owner", ListColumnKind::kText, 60, 140},
    {kFBColGroup, "Group", ListColumnKind::kText, 60, 140},
};

void AddColumn(toolbox::ListView& list, ListPropertyID id) {
  for (const auto& c : kColumns) {
    if (c.id != id) continue;
    ListColumnDesc desc;
    desc.property = id;
    desc.kind = c.kind;
    desc.flags = toolbox::kListColumnMovable | toolbox::kListColumnSortable;
    if (id == kFBColName) desc.flags |= toolbox::kListColumnTypeSelect | toolbox::kListColumnEditable;
    if (id == kFBColDate) desc.flags |= toolbox::kListColumnRelativeDate;
    desc.title = values::Localized(c.title);
    desc.min_width = c.minWidth;
    desc.max_width = c.maxWidth;
    list.AddColumn(desc);
  }
}

// The columns shown besides Name: "FB columns" in its order, else the defaults.
std::vector<ListPropertyID> ShownColumns() {
  std::vector<ListPropertyID> ids;
  if (auto stored = util::ReadSetting(util::kFileBrowserColumnsKey))
    if (const values::Array* array = stored->AsArray())
      for (const auto& v : *array)
        if (const values::Number* n = v.AsNumber()) {
          const std::int64_t id = n->AsInt64();
          if (id >= kFBColPermissions && id <= kFBColGroup &&
              std::find(ids.begin(), ids.end(), ListPropertyID(id)) == ids.end())
            ids.push_back(static_cast<ListPropertyID>(id));
        }
  if (ids.empty()) ids = {kFBColDate, kFBColKind, kFBColSize};
  return ids;
}

std::string UserName(std::uint32_t uid) {
  static std::map<std::uint32_t, std::string> cache;
  auto it = cache.find(uid);
  if (it != cache.end()) return it->second;
  std::string name;
  passwd pw{}, *found = nullptr;
  char buffer[4096];
  if (getpwuid_r(uid, &pw, buffer, sizeof buffer, &found) == 0 && found) name = found->pw_name;
  return cache[uid] = name;
}

std::string GroupName(std::uint32_t gid) {
  static std::map<std::uint32_t, std::string> cache;
  auto it = cache.find(gid);
  if (it != cache.end()) return it->second;
  std::string name;
  group gr{}, *found = nullptr;
  char buffer[4096];
  if (getgrgid_r(gid, &gr, buffer, sizeof buffer, &found) == 0 && found) name = found->gr_name;
  return cache[gid] = name;
}

std::string Extension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

std::string KindText(const FileBrowserNode& node) {
  if (node.info.is_symlink) return values::Localized("Alias");
  if (node.folder) return values::Localized("Folder");
  const std::string ext = Extension(node.name);
  if (ext.empty()) return values::Localized("Document");
  std::string upper = ext;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return values::Format(values::Localized("%@ File"), {upper});
}

std::unique_ptr<FileBrowserNode> MakeNode(const std::string& path, const std::string& name,
                                          const files::CatalogInfo& info, FileBrowserNode* parent) {
  auto node = std::make_unique<FileBrowserNode>();
  node->path = path;
  node->resolvedPath = path;
  node->name = name;
  node->info = info;
  node->parent = parent;
  node->folder = info.IsFolder();
  node->container = node->folder;
  if (info.is_symlink) {
    // A link to a folder behaves as the folder for double clicks and drops, but does not
    // open in place (no disclosure triangle).
    auto target = files::GetCatalogInfo(files::FileRef(path), files::LinkMode::kFollow);
    if (target.ok() && target->IsFolder()) node->folder = true;
  }
  return node;
}

bool Hidden(const files::FolderEntry& entry) {
  return entry.name.starts_with('.') || entry.info.hidden;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return path;
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void FileBrowserNodeLoadChildren(FileBrowserNode& node) {
  if (node.childrenLoaded) return;
  node.childrenLoaded = true;
  node.children.clear();
  auto iterator = files::FolderIterator::Open(files::FileRef(node.resolvedPath));
  if (!iterator.ok()) return;  // an unreadable folder shows no children
  std::vector<files::FolderEntry> batch;
  while (node.children.size() < kFileBrowserMaxChildren) {
    batch.clear();
    const std::size_t want = std::min<std::size_t>(128, kFileBrowserMaxChildren - node.children.size());
    const auto status = iterator->ReadBulk(want, batch);
    for (const auto& entry : batch)
      if (!Hidden(entry)) node.children.push_back(MakeNode(entry.ref.Path(), entry.name, entry.info, &node));
    if (!status.ok() || batch.empty()) break;
  }
}

FileBrowser::FileBrowser(toolbox::Window& window, const toolbox::ControlSpec& desc,
                         const std::optional<std::string>& startFolder) {
  toolbox::ControlSpec pane = desc;
  pane.kind = toolbox::ControlKind::kUserPane;
  control_ = window.AddControl(pane);
  toolbox::ListCallbacks callbacks;
  callbacks.item_data = [this](ListItemID item, ListPropertyID property, toolbox::ListItemData& data,
                               bool set) { return ItemData(item, property, data, set); };
  callbacks.compare = [this](ListItemID a, ListItemID b, ListPropertyID property) {
    return Compare(a, b, property);
  };
  callbacks.notify = [this](ListItemID item, toolbox::ListNotification what) { Notify(item, what); };
  list_.SetCallbacks(std::move(callbacks));
  AddColumn(list_, kFBColName);
  for (ListPropertyID id : ShownColumns()) AddColumn(list_, id);
  list_.SetDisclosureColumn(kFBColName);
  list_.SetSortProperty(kFBColName);
  list_.SetSortOrder(toolbox::ListSortOrder::kIncreasing);
  if (control_) list_.Embed(*control_);
  if (!startFolder || !SetFolder(*startFolder))
    SetFolder(files::StandardFolderRef(files::StandardFolder::kDesktop).Path());
  list_.AutoSizeColumns();
}

// The control belongs to the window, which may be gone already; the list lets go of its
// widget by itself.
FileBrowser::~FileBrowser() {
  list_.SetCallbacks({});
}

bool FileBrowser::SetFolder(const std::string& path) {
  auto info = files::GetCatalogInfo(files::FileRef(path), files::LinkMode::kFollow);
  if (!info.ok() || !info->IsFolder()) return false;
  list_.RemoveAllItems();
  std::string name = path;
  if (const std::size_t slash = path.rfind('/'); slash != std::string::npos && slash + 1 < path.size())
    name = path.substr(slash + 1);
  root_ = MakeNode(path, name, *info, nullptr);
  Expand(*root_);
  list_.ScrollToTop();
  if (folderChanged_) folderChanged_(path);
  return true;
}

std::optional<std::string> FileBrowser::GetFolder() const {
  if (!root_) return std::nullopt;
  return root_->path;
}

void FileBrowser::Expand(FileBrowserNode& node) {
  FileBrowserNodeLoadChildren(node);
  std::vector<ListItemID> ids;
  for (const auto& child : node.children) ids.push_back(child->id());
  list_.AddItems(&node == root_.get() ? 0 : node.id(), ids);
  node.expanded = true;
}

FileBrowserNode* FileBrowser::NodeForItem(ListItemID item) const {
  if (!item || !list_.HasItem(item)) return nullptr;
  return reinterpret_cast<FileBrowserNode*>(item);
}

FileBrowserNode* FileBrowser::FirstSelectedItem() const {
  const auto selected = list_.SelectedItems();
  return selected.empty() ? nullptr : NodeForItem(selected.front());
}

std::optional<std::string> FileBrowser::DropFolderForItem(ListItemID item) const {
  if (const FileBrowserNode* node = NodeForItem(item))
    return node->folder ? node->resolvedPath : FolderOf(node->path);
  return GetFolder();
}

values::Dictionary FileBrowser::CopyUserState() const {
  values::Array columns, widths;
  for (ListPropertyID id : list_.Columns()) {
    columns.emplace_back(values::Number::Int64(id));
    widths.emplace_back(values::Number::Int64(list_.ColumnWidth(id).value_or(0)));
  }
  return values::Dictionary{
      {"columns", values::Value(std::move(columns))},
      {"widths", values::Value(std::move(widths))},
      {"sortColumn", values::Value(values::Number::Int64(list_.SortProperty()))},
      {"sortOrder", values::Value(values::Number::Int64(static_cast<int>(list_.SortOrder())))},
  };
}

void FileBrowser::ApplyUserState(const values::Value& state) {
  const values::Dictionary* d = state.AsDictionary();
  if (!d) return;
  const auto array = [&](const char* key) -> const values::Array* {
    auto it = d->find(key);
    return it == d->end() ? nullptr : it->second.AsArray();
  };
  const auto number = [](const values::Value& v) -> std::optional<std::int64_t> {
    const values::Number* n = v.AsNumber();
    return n ? std::optional<std::int64_t>(n->AsInt64()) : std::nullopt;
  };
  const values::Array* columns = array("columns");
  const values::Array* widths = array("widths");
  if (columns) {
    int position = 0;
    for (std::size_t i = 0; i < columns->size() && i < std::size(kColumns); ++i) {
      const auto id = number((*columns)[i]);
      if (!id || *id < kFBColName || *id > kFBColGroup || !list_.HasColumn(ListPropertyID(*id))) continue;
      list_.MoveColumn(ListPropertyID(*id), position++);
      if (widths && i < widths->size())
        if (const auto w = number((*widths)[i]); w && *w > 0 && *w <= 4096)
          list_.SetColumnWidth(ListPropertyID(*id), static_cast<int>(*w));
    }
  }
  if (auto it = d->find("sortColumn"); it != d->end())
    if (const auto id = number(it->second); id && list_.HasColumn(ListPropertyID(*id)))
      list_.SetSortProperty(ListPropertyID(*id));
  if (auto it = d->find("sortOrder"); it != d->end())
    if (const auto order = number(it->second); order && (*order == 1 || *order == 2))
      list_.SetSortOrder(static_cast<toolbox::ListSortOrder>(*order));
}

std::vector<std::string> FileBrowser::ShownNames() const {
  std::vector<std::string> names;
  for (ListItemID id : list_.Items(0, true))
    if (const FileBrowserNode* node = NodeForItem(id)) names.push_back(node->name);
  return names;
}

values::Dictionary FileBrowser::CopyOpenFolders() const {
  std::function<values::Dictionary(const FileBrowserNode&)> copy = [&](const FileBrowserNode& node) {
    values::Dictionary open;
    for (const auto& child : node.children)
      if (child->expanded) open[child->name] = values::Value(copy(*child));
    return open;
  };
  return root_ ? copy(*root_) : values::Dictionary{};
}

void FileBrowser::RestoreOpenFolders(const values::Dictionary& open) {
  std::function<void(FileBrowserNode&, const values::Dictionary&)> restore =
      [&](FileBrowserNode& node, const values::Dictionary& names) {
        for (const auto& child : node.children) {
          auto it = names.find(child->name);
          if (it == names.end() || !child->container) continue;
          if (!child->expanded) list_.OpenContainer(child->id());
          if (const values::Dictionary* nested = it->second.AsDictionary()) restore(*child, *nested);
        }
      };
  if (root_ && !open.empty()) restore(*root_, open);
}

toolbox::Status FileBrowser::ItemData(ListItemID item, ListPropertyID property, toolbox::ListItemData& data,
                                      bool set) {
  FileBrowserNode* node = reinterpret_cast<FileBrowserNode*>(item);
  if (!node) return toolbox::kListPropertyNotSupported;
  if (set) return toolbox::kListPropertyNotSupported;  // renaming in place is not offered here
  switch (property) {
    case toolbox::kListPropertyEditable:
      data.SetBoolean(false);
      return toolbox::kListNoErr;
    case toolbox::kListPropertyContainer:
      data.SetBoolean(node->container);
      return toolbox::kListNoErr;
    case kFBColName:
      data.SetText(node->name);
      data.SetIcon(node->folder ? toolbox::IconForFolder(16)
                                : toolbox::IconForFileExtension(Extension(node->name), 16));
      return toolbox::kListNoErr;
    case kFBColPermissions:
      data.SetText(CopyPermissionsString(node->info.mode));
      return toolbox::kListNoErr;
    case kFBColKind:
      data.SetText(KindText(*node));
      return toolbox::kListNoErr;
    case kFBColDate:
      data.SetDate(static_cast<double>(node->info.modification_time.seconds) - kUnixToAbsolute);
      return toolbox::kListNoErr;
    case kFBColSize:
      data.SetText(util::CopyByteCountString(node->folder ? -1 : static_cast<std::int64_t>(node->info.size)));
      return toolbox::kListNoErr;
    case kFBColOwner:
      data.SetText(UserName(node->info.uid));
      return toolbox::kListNoErr;
    case kFBColGroup:
      data.SetText(GroupName(node->info.gid));
      return toolbox::kListNoErr;
    default:
      return toolbox::kListPropertyNotSupported;
  }
}

bool FileBrowser::Compare(ListItemID first, ListItemID second, ListPropertyID property) const {
  const auto* a = reinterpret_cast<const FileBrowserNode*>(first);
  const auto* b = reinterpret_cast<const FileBrowserNode*>(second);
  switch (property) {
    case kFBColKind:
      return values::CompareStrings(KindText(*a), KindText(*b), values::kCaseInsensitive) ==
             values::ComparisonResult::kLessThan;
    case kFBColDate:
      return a->info.modification_time < b->info.modification_time;
    case kFBColSize:
      // Folders first, in no order among themselves; then files by size.
      if (a->folder || b->folder) return a->folder && !b->folder;
      return a->info.size < b->info.size;
    case kFBColName:
      return values::CompareStrings(a->name, b->name, values::kCaseInsensitive) ==
             values::ComparisonResult::kLessThan;
    default:
      return false;  // permissions, owner and group do not order
  }
}

void FileBrowser::Notify(ListItemID item, toolbox::ListNotification what) {
  FileBrowserNode* node = NodeForItem(item);
  if (!node) return;
  switch (what) {
    case toolbox::ListNotification::kContainerOpened:
      if (node->container) Expand(*node);
      return;
    case toolbox::ListNotification::kContainerClosed:
      node->expanded = false;
      return;
    case toolbox::ListNotification::kItemDoubleClicked:
      if (node->folder) SetFolder(std::string(node->resolvedPath));
      return;
    default:
      return;
  }
}

bool FileBrowserDragHasRemoteItems(const toolbox::Drag& drag) {
  return std::any_of(drag.items.begin(), drag.items.end(), [](const toolbox::DragItem& item) {
    return item.HasFlavor(kFlavorQueueItem) || item.HasFlavor(kFlavorDotMacNode) ||
           item.HasFlavor(kFlavorFTPNode);
  });
}

bool FileBrowserAcceptDrop(const toolbox::Drag& drag, const std::string& folder) {
  const std::optional<values::Bytes> destination = queue::MakeAliasBytes(files::FileRef(folder));
  if (!destination) return false;
  int taken = 0;
  for (const auto& item : drag.items) {
    if (item.HasFlavor(kFlavorQueueItem)) {
      const auto wrapper = item.object.As<queue::DownloadQueueWrapper>();
      if (!wrapper) continue;
      queue::AddDownloadRequest request;
      request.urlEntries = wrapper->element().urlData;
      request.destination = destination;
      request.useAuth = wrapper->element().useAuth;
      request.user = wrapper->element().authUser;
      request.password = wrapper->element().authPassword;
      request.updateList = false;
      request.batchID = util::GetSessionUUIDString();
      if (queue::AddDownload(request)) ++taken;
    } else if (item.HasFlavor(kFlavorFTPNode)) {
      if (auto node = item.object.As<browser::FTPNodeRow>())
        if (browser::RemoteRowsServiceSlot::Get().DownloadFTPNodeTo(node, folder)) ++taken;
    }
  }
  if (taken == 1) queue::TruvaneUndoSetActionName(values::Localized("Add Download"));
  if (taken > 1)
    queue::TruvaneUndoSetActionName(values::Format(values::Localized("Add %d downloads"), {taken}));
  return taken > 0;
}

}  // namespace ui
