#include "app/ui/source_list/source_list.h"

#include <algorithm>
#include <chrono>

#include "app/queue/adding/add_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/record/queue_tables.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/views/resource_images.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/upload/upload_hooks.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/download_folder.h"
#include "platform/files/catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/toolbox/menus/menu_commands.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/string_compare.h"
#include "platform/values/url.h"

namespace ui {

namespace {

using queue::ViewID;

constexpr auto kSpringLoadDelay = std::chrono::milliseconds(600);
constexpr values::FourCharCode kFlavorQueueItem = values::FourCC("QEl_");
constexpr values::FourCharCode kFlavorDotMacNode = values::FourCC(".McN");
constexpr values::FourCharCode kFlavorFTPNode = values::FourCC("FTPN");

std::optional<toolbox::Image> AppIcon(values::FourCharCode type) {
  return GetIcon(kAppCreator, type);
}

RowRef MakeRow(values::FourCharCode icon, const char* labelKey, std::uint32_t identifier) {
  return std::make_shared<TRCustomListRow>(icon ? AppIcon(icon) : std::nullopt, values::Localized(labelKey),
                                           identifier);
}

RowRef MakeSection(const char* labelKey, std::uint32_t identifier) {
  RowRef row = MakeRow(0, labelKey, identifier);
  row->selectable = false;
  row->setChildren({});
  return row;
}

// The label of a connected host's row; empty when the connection behind it is gone.
std::string HostRowLabel(const browser::RemoteHost& host, bool* connected) {
  *connected = false;
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  switch (host.hostType) {
    case browser::kHostBonjourPeer:
      if (auto peer = sharing::SharingRowsServiceSlot::Get().PeerForBonjourName(host.bonjourName)) {
        *connected = peer->connection() != nullptr;
        return peer->serviceName();
      }
      return {};
    case browser::kHostPeerByAddress:
      if (auto peer = sharing::PeerHostsServiceSlot::Get().CopyPeerHost(host.peerID)) {
        *connected = true;
        return peer->displayName.empty() ? peer->address : peer->displayName;
      }
      return {};
    case browser::kHostFTP:
    case browser::kHostFTPS:
      if (auto node = remote.FTPNodeForHostID(host.ftpID)) {
        *connected = true;
        return node->name();
      }
      return {};
    case browser::kHostIDisk:
    case browser::kHostWebDAV:
    case browser::kHostSecureWebDAV:
      if (auto node = remote.DotMacNodeForHostID(host.nodeID)) {
        *connected = true;
        return node->name();
      }
      return {};
    default:
      return {};
  }
}

std::optional<toolbox::Image> HostIcon(const browser::RemoteHost& host) {
  switch (host.hostType) {
    case browser::kHostBonjourPeer:
      return AppIcon(values::FourCC("Rndv"));
    case browser::kHostPeerByAddress:
      return AppIcon(values::FourCC("Remo"));
    case browser::kHostFTP:
      return AppIcon(values::FourCC("FTP_"));
    case browser::kHostFTPS:
      return AppIcon(values::FourCC("FTPS"));
    case browser::kHostIDisk: {
      auto node = browser::RemoteRowsServiceSlot::Get().DotMacNodeForHostID(host.nodeID);
      const bool isPublic = node && node->iDiskMemberName().ends_with("-Public");
      return GetIcon(kSystemCreator, values::FourCC(isPublic ? "udsk" : "idsk"));
    }
    case browser::kHostWebDAV:
    case browser::kHostSecureWebDAV:
      return GetIcon(kSystemCreator, values::FourCC("srvr"));
    default:
      return std::nullopt;
  }
}

}  // namespace

// ---- row builders ----

RowRef SourceListCreateLibrarySection() {
  return MakeSection("kLibraryFolderLabel", queue::kLibrarySectionID);
}
RowRef SourceListCreateSearchForSection() {
  return MakeSection("kSearchForFolderLabel", queue::kSearchForSectionID);
}
RowRef SourceListCreateRemoteServersSection() {
  return MakeSection("kRemoteServersFolderLabel", queue::kRemoteServersSectionID);
}
RowRef SourceListCreateMyFoldersSection() {
  return MakeSection("kMyFoldersFolderLabel", queue::kMyFoldersSectionID);
}
RowRef SourceListCreateDownloadsRow() {
  return MakeRow(values::FourCC("MyDL"), "My Downloads", queue::kMyDownloadsViewID);
}
RowRef SourceListCreateUploadsRow() {
  return MakeRow(values::FourCC("mYUl"), "My Uploads", queue::kMyUploadsViewID);
}
RowRef SourceListCreateReceivedRow() {
  return MakeRow(values::FourCC("RfIc"), "Received Files", queue::kReceivedFilesViewID);
}
RowRef SourceListCreateServersRow() {
  return MakeRow(values::FourCC("MySe"), "My Servers", queue::kMyServersViewID);
}
RowRef SourceListCreateHistoryRow() {
  return MakeRow(values::FourCC("Hist"), "History", queue::kHistoryViewID);
}

// ---- folder rows ----

values::FourCharCode FolderRowIconType(std::uint32_t flags) {
  if (flags & queue::kFolderFlagShared) return kIconSharedFolder;
  if (flags & queue::kFolderFlagSmart) return kIconSmartFolder;
  return kIconFolder;
}

RowRef SourceListAddFolderRow(CustomList& list, ViewID id) {
  const queue::FolderRef folder = queue::LookUpFolder(id);
  if (!folder) return nullptr;
  const std::uint32_t flags = folder->flags();
  const bool smartSection = (flags & queue::kFolderFlagSmart) && !(flags & queue::kFolderFlagShared);
  const RowRef section =
      list.GetRowByIdentifier(smartSection ? queue::kSearchForSectionID : queue::kMyFoldersSectionID);
  auto row = std::make_shared<TRCustomListRow>(AppIcon(FolderRowIconType(flags)), folder->name(), id);
  if (section) {
    std::vector<RowRef> children = section->children().value_or(std::vector<RowRef>{});
    children.push_back(row);
    list.SetRowChildren(section, std::move(children));
  }
  return row;
}

int CompareFolderRows(const TRCustomListRow& a, const TRCustomListRow& b) {
  if (a.identifier == b.identifier) return 0;
  const bool dateA = queue::IsDateFolderID(a.identifier), dateB = queue::IsDateFolderID(b.identifier);
  if (dateA && dateB) return a.identifier < b.identifier ? -1 : 1;
  if (dateA) return -1;
  if (dateB) return 1;
  const queue::FolderRef fa = queue::LookUpFolder(a.identifier), fb = queue::LookUpFolder(b.identifier);
  if (fa && fb) {
    const bool smartA = fa->flags() & queue::kFolderFlagSmart, smartB = fb->flags() & queue::kFolderFlagSmart;
    if (smartA != smartB) return smartA ? -1 : 1;
    const bool sharedA = fa->flags() & queue::kFolderFlagShared,
               sharedB = fb->flags() & queue::kFolderFlagShared;
    if (sharedA != sharedB) return sharedA ? -1 : 1;
  }
  const int c = static_cast<int>(values::CompareStrings(a.label, b.label, values::kCaseInsensitive));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void SourceListSortChildren(CustomList& list, std::uint32_t identifier) {
  const RowRef row = list.GetRowByIdentifier(identifier);
  if (!row || !row->children()) return;
  std::vector<RowRef> children = *row->children();
  const bool hosts = identifier == queue::kRemoteServersSectionID;
  std::stable_sort(children.begin(), children.end(), [hosts](const RowRef& a, const RowRef& b) {
    return (hosts ? CompareHostRows(*a, *b) : CompareFolderRows(*a, *b)) < 0;
  });
  list.SetRowChildren(row, std::move(children));
}

void SourceListSortFolderRows(CustomList& list) {
  SourceListSortChildren(list, queue::kSearchForSectionID);
  SourceListSortChildren(list, queue::kMyFoldersSectionID);
}

void RefreshFolderRowIcons(CustomList& list, const std::vector<ViewID>& folders) {
  for (ViewID id : folders) {
    if (id <= 0xFFFFF) continue;
    const RowRef row = list.GetRowByIdentifier(id);
    const queue::FolderRef folder = queue::LookUpFolder(id);
    if (row && folder) row->icon = AppIcon(FolderRowIconType(folder->flags()));
  }
  list.Invalidate();
}

// ---- host rows ----

namespace {

// The label, icons and eject button of a host's row from the connection behind it.
void DressHostRow(TRCustomListRow& row, const browser::RemoteHost& host) {
  bool connected = false;
  const std::string label = HostRowLabel(host, &connected);
  row.icon = HostIcon(host);
  row.label = connected ? label : std::string();
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  bool secure = false;
  if (host.hostType == browser::kHostBonjourPeer || host.hostType == browser::kHostPeerByAddress)
    secure = connected;  // peer sessions are always enciphered
  else if (host.hostType == browser::kHostFTPS)
    secure = connected;
  else if (host.hostType == browser::kHostSecureWebDAV)
    secure = remote.DotMacNodeForHostID(host.nodeID) != nullptr;
  row.secondaryIcon = secure ? AppIcon(values::FourCC("SecI")) : std::nullopt;
  row.buttonIcon = connected ? AppIcon(values::FourCC("Ejec")) : std::nullopt;
  row.buttonClickedIcon = connected ? AppIcon(values::FourCC("EjeP")) : std::nullopt;
}

}  // namespace

RowRef SourceListAddHostRow(CustomList& list, const browser::RemoteHost& host, std::uint32_t identifier) {
  if (host.hostType < browser::kHostFTP || host.hostType > browser::kHostSecureWebDAV) return nullptr;
  auto row = std::make_shared<TRCustomListRow>(std::nullopt, std::string(), identifier);
  DressHostRow(*row, host);
  const RowRef section = list.GetRowByIdentifier(queue::kRemoteServersSectionID);
  if (section) {
    std::vector<RowRef> children = section->children().value_or(std::vector<RowRef>{});
    children.push_back(row);
    list.SetRowChildren(section, std::move(children));
    SourceListSortChildren(list, queue::kRemoteServersSectionID);
  }
  return row;
}

void SourceListUpdateHostRows(CustomList& list) {
  const RowRef section = list.GetRowByIdentifier(queue::kRemoteServersSectionID);
  if (!section || !section->children()) return;
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const std::vector<browser::RemoteHostRow> states = remote.CopyHostRows();
  for (const RowRef& row : *section->children()) {
    if (!IsHostRowIdentifier(row->identifier)) continue;
    // A row past the hosts left is about to go; it keeps what it shows until then.
    const auto host = remote.GetHostForViewID(row->identifier);
    if (!host) continue;
    DressHostRow(*row, *host);
    const auto state = std::find_if(states.begin(), states.end(), [&](const browser::RemoteHostRow& s) {
      return s.viewID == row->identifier;
    });
    const bool busy = state != states.end() && state->busy;
    const bool disabled = state != states.end() && state->disabled;
    if (row->showProgress() != busy) row->setShowProgress(busy);
    row->state = disabled ? row->state | kRowStateDimmed : row->state & ~kRowStateDimmed;
  }
  SourceListSortChildren(list, queue::kRemoteServersSectionID);
  list.Invalidate();
}

int CompareHostRows(const TRCustomListRow& a, const TRCustomListRow& b) {
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const auto ha = remote.GetHostForViewID(a.identifier), hb = remote.GetHostForViewID(b.identifier);
  if (!ha && !hb) return 0;
  if (!ha) return -1;
  if (!hb) return 1;
  // Hosts by type, then by the label they show.
  if (ha->hostType != hb->hostType) return ha->hostType < hb->hostType ? -1 : 1;
  const int c = static_cast<int>(values::CompareStrings(a.label, b.label, values::kCaseInsensitive));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void SourceListRemoveRow(CustomList& list, std::uint32_t identifier) {
  const RowRef row = list.GetRowByIdentifier(identifier);
  if (!row) return;
  const RowSet selection = list.CopySelection();
  const bool onlySelected = selection.size() == 1 && *selection.begin() == row;
  const auto& shown = list.GetVisibleRows();
  auto it = std::find(shown.begin(), shown.end(), row);
  if (it == shown.end() && row->parentRow)
    it = std::find_if(shown.begin(), shown.end(), [&](const RowRef& r) { return r.get() == row->parentRow; });
  const int index = it == shown.end() ? -1 : static_cast<int>(it - shown.begin());
  std::vector<RowRef> candidates(shown.begin(), shown.begin() + std::max(index, 0));
  if (row->parentRow) {
    for (const auto& top : list.TopRows())
      if (top.get() == row->parentRow) list.RemoveChild(top, row);
  } else {
    std::vector<RowRef> top = list.TopRows();
    std::erase(top, row);
    list.SetTopRows(std::move(top));
  }
  if (!onlySelected) return;
  for (auto r = candidates.rbegin(); r != candidates.rend(); ++r) {
    if (CustomListRowIsSelectable(**r)) {
      list.SelectRow(*r);
      return;
    }
  }
  list.SetSelection({});
}

// ---- selection rules ----

void ClassifySourceSelection(const TRCustomListRow& row, SourceSelectionSummary& s) {
  const std::uint32_t id = row.identifier;
  switch (id) {
    case queue::kMyDownloadsViewID:
    case queue::kHistoryViewID:
    case queue::kFiltersViewID:
    case queue::kMyServersViewID:
    case queue::kMyUploadsViewID:
    case queue::kReceivedFilesViewID:
      s.builtIns |= std::uint64_t{1} << id;
      return;
    default:
      break;
  }
  if (queue::IsUserFolderID(id)) {
    s.userFolder = true;
  } else if (queue::IsSmartFolderID(id) || queue::IsDateFolderID(id)) {
    s.smartOrDateFolder = true;
  } else if (IsHostRowIdentifier(id)) {
    s.server = true;
    ++s.serverCount;
  } else {
    s.other = true;
  }
}

bool SourceSelectionAllowed(const RowSet& proposal) {
  if (proposal.empty()) return false;
  SourceSelectionSummary s;
  for (const auto& row : proposal) ClassifySourceSelection(*row, s);
  if (s.other) return false;
  constexpr std::uint64_t kDownloadsBit = std::uint64_t{1} << queue::kMyDownloadsViewID;
  if (s.userFolder || s.smartOrDateFolder) {
    if (s.server || (s.builtIns != 0 && s.builtIns != kDownloadsBit)) return false;
  } else if (s.server && s.builtIns != 0) {
    return false;
  }
  if (s.serverCount > 1) return false;
  // Folders may come with My Downloads; otherwise one built-in row at most.
  if (s.userFolder || s.smartOrDateFolder) return true;
  return (s.builtIns & (s.builtIns - 1)) == 0;
}

// ---- the owner ----

SourceList::SourceList(CustomList& list) : list_(list) {
  list_.SetOwner(this);
}

SourceList::~SourceList() {
  if (springTimer_) springTimer_->Invalidate();
  list_.SetOwner(nullptr);
}

std::optional<bool> SourceList::CanChangeSelection(CustomList&, const RowSet& proposed) {
  return SourceSelectionAllowed(proposed);
}

void SourceList::RowsJoinedSelection(CustomList&, const RowSet& added) {
  for (const auto& row : added) queue::DisplayView(row->identifier);
  const bool folderShown = queue::IsDisplayingUserFolder() || queue::IsDisplayingSmartFolder();
  if (auto menu = toolbox::GetMenuBar().Find(132)) menu->EnableCommand(values::FourCC("RmFl"), folderShown);
}

void SourceList::RowsLeftSelection(CustomList&, const RowSet& removed) {
  // All the shown views leave: their layout is saved and the list emptied first.
  if (removed.size() >= queue::GetDisplayedViewSet().size()) queue::ClearDisplayedViews();
  for (const auto& row : removed) queue::RemoveDisplayedView(row->identifier);
  queue::RefillMainList();
}

toolbox::MenuRef SourceList::ContextMenuForRow(CustomList&, const RowRef& row) {
  if (!row) return nullptr;
  return SourceListContextMenu(row->identifier, simpleMode_);
}

void SourceList::RenameEnded(CustomList& list, const RowRef& row, const std::string& text) {
  if (!row) return;
  queue::RenameFolder(row->identifier, text);
  if (const queue::FolderRef folder = queue::LookUpFolder(row->identifier)) row->label = folder->name();
  SourceListSortFolderRows(list);
}

void SourceList::DisclosureClicked(CustomList& list, const RowRef& row) {
  row->open = !row->open;
  list.FlushVisibleRows();
}

void SourceList::ButtonClicked(CustomList&, const RowRef& row) {
  if (!IsHostRowIdentifier(row->identifier)) return;
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const auto host = remote.GetHostForViewID(row->identifier);
  if (!host) return;
  if (host->hostType == browser::kHostPeerByAddress)
    sharing::PeerHostsServiceSlot::Get().DisconnectPeer(host->peerID);
  else if (host->hostType != browser::kHostBonjourPeer)
    remote.DisconnectHost(row->identifier);
}

std::optional<bool> SourceList::AcceptDragOnRow(CustomList&, const toolbox::Drag& drag, const RowRef& row) {
  return SourceListDragHandler(drag, row->identifier);
}

bool SourceList::DropOnRow(CustomList&, const toolbox::Drag& drag, const RowRef& row) {
  if (!row) return false;
  return SourceListDropHandler(drag, row->identifier);
}

// ---- drags ----

namespace {
bool AnyItemHas(const toolbox::Drag& drag, values::FourCharCode flavor) {
  return std::any_of(drag.items.begin(), drag.items.end(),
                     [&](const toolbox::DragItem& item) { return item.HasFlavor(flavor); });
}
}  // namespace

bool SourceList::SourceListDragHandler(const toolbox::Drag& drag, std::uint32_t id) {
  const bool server = IsHostRowIdentifier(id);
  if (id != queue::kMyDownloadsViewID && id != queue::kMyUploadsViewID && !server &&
      !queue::IsUserFolderID(id))
    return false;
  if (server || id == queue::kMyUploadsViewID) {
    if (!AnyItemHas(drag, toolbox::kFlavorFileURL)) return false;
    if (id == queue::kMyUploadsViewID) return true;
    if (!savedViews_) savedViews_ = queue::GetDisplayedViewSet();
    if (springTimer_) springTimer_->Invalidate();
    springTimer_.reset();
    if (queue::IsViewDisplayed(id)) return true;
    springRow_ = id;
    springTimer_ = runtime::Timer::Create(kSpringLoadDelay, runtime::Nanoseconds(0),
                                          [this](runtime::Timer&) { SpringLoadedOpenRow(); });
    runtime::RunLoop::Main()->AddTimer(springTimer_);
    return true;
  }
  if (AnyItemHas(drag, kFlavorQueueItem)) return true;
  return id == queue::kMyDownloadsViewID &&
         (AnyItemHas(drag, toolbox::kFlavorFileURL) || AnyItemHas(drag, kFlavorDotMacNode) ||
          AnyItemHas(drag, kFlavorFTPNode));
}

void SourceList::SpringLoadedOpenRow() {
  // Opened before its time (or by its timer): the timer must not fire again later.
  if (springTimer_) springTimer_->Invalidate();
  springTimer_.reset();
  const RowRef row = list_.GetRowByIdentifier(springRow_);
  if (!row) return;
  queue::ClearDisplayedViews();
  queue::DisplayView(springRow_);
  queue::RefillMainList();
  row->state |= kRowStateBlink1;
  list_.InvalidateRow(row.get());
}

void SourceList::SourceListEndDrag() {
  if (springTimer_) springTimer_->Invalidate();
  springTimer_.reset();
  if (!savedViews_) return;
  queue::DisplayViews(*std::exchange(savedViews_, std::nullopt));
}

namespace {

// The local path of a dragged item's file URL.
std::optional<std::string> DraggedFilePath(const toolbox::DragItem& item) {
  const auto text = item.Flavor(toolbox::kFlavorFileURL);
  if (!text) return std::nullopt;
  if (auto url = values::Url::Create(*text)) return values::PathFromFileUrl(*url);
  return std::nullopt;
}

// Files dropped on a server row are sent to that server.
void SendFileToServer(const browser::RemoteHost& host, const std::string& path) {
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  switch (host.hostType) {
    case browser::kHostFTP:
    case browser::kHostFTPS:
      if (auto node = remote.FTPNodeForHostID(host.ftpID)) remote.UploadToFTPNode(node, path);
      return;
    case browser::kHostPeerByAddress:
      if (auto peer = sharing::PeerHostsServiceSlot::Get().CopyPeerHost(host.peerID)) {
        upload::UploadRequest request;
        request.localPath = path;
        request.host = values::Format("%@:%d", {peer->address, peer->port + 1});
        request.user = peer->user;
        request.password = peer->password;
        request.hostType = browser::kHostPeerByAddress;
        upload::UploadHandoffServiceSlot::Get().EnqueueUpload(request);
      }
      return;
    case browser::kHostBonjourPeer: {
      upload::UploadRequest request;
      request.localPath = path;
      request.host = host.bonjourName;
      request.user = "Guest";
      request.hostType = browser::kHostBonjourPeer;
      upload::UploadHandoffServiceSlot::Get().EnqueueUpload(request);
      return;
    }
    default:
      return;  // online disks and WebDAV servers take no uploads from here
  }
}

}  // namespace

bool SourceList::SourceListDropHandler(const toolbox::Drag& drag, std::uint32_t id) {
  if (id == queue::kMyUploadsViewID) {
    // The bundles of a browser's downloads resume as downloads; other files go to the
    // send-files window, where the user picks their destination.
    std::vector<std::string> files;
    for (const auto& item : drag.items) {
      const auto path = DraggedFilePath(item);
      if (!path || queue::ImportBrowserDownload(files::FileRef(*path))) continue;
      files.push_back(*path);
    }
    if (!files.empty()) runtime::CallHook(upload::UploadHooksSlot::Get().openSendFilesWindow, files);
    return true;
  }
  const bool folderTarget = queue::IsUserFolderID(id) || id == queue::kMyDownloadsViewID;
  const auto server =
      IsHostRowIdentifier(id) ? browser::RemoteRowsServiceSlot::Get().GetHostForViewID(id) : std::nullopt;
  std::vector<queue::WrapperRef> collected;
  std::optional<std::string> batch;
  std::optional<files::FileRef> destination;  // asked for once, at the first remote item
  for (const auto& item : drag.items) {
    if (item.HasFlavor(kFlavorQueueItem) && folderTarget) {
      const auto wrapper = item.object.As<queue::DownloadQueueWrapper>();
      if (!wrapper) continue;
      if (wrapper->element().hostID != 0) {
        // An item of another copy's shared list becomes a local download.
        if (!batch) batch = util::CreateUUIDString();
        queue::AddDownloadRequest request;
        request.urlEntries = wrapper->element().urlData;
        request.useAuth = wrapper->element().useAuth;
        request.user = wrapper->element().authUser;
        request.password = wrapper->element().authPassword;
        request.batchID = batch;
        const queue::DownloadUID uid = queue::AddDownload(request);
        const auto added = uid ? queue::LookUpDownloadWrapper(uid) : nullptr;
        if (!added) continue;
        added->element().filename = wrapper->element().filename;
        queue::AddElementToFolder(added, id);
        collected.push_back(added);
      } else {
        queue::AddElementToFolder(wrapper, id);
        collected.push_back(wrapper);
      }
      continue;
    }
    const auto path = DraggedFilePath(item);
    if (path && queue::ImportBrowserDownload(files::FileRef(*path))) continue;
    if (id == queue::kMyDownloadsViewID &&
        (item.HasFlavor(kFlavorFTPNode) || item.HasFlavor(kFlavorDotMacNode))) {
      if (!destination) {
        files::FileRef folder;
        // Cancelled: the items after this one stay where they are.
        if (util::ChooseDefaultDownloadFolder(folder)) break;
        destination = folder;
      }
      if (auto node = item.object.As<browser::FTPNodeRow>())
        browser::RemoteRowsServiceSlot::Get().DownloadFTPNodeTo(node, destination->Path());
      continue;
    }
    if (!server || !path) continue;
    const auto info = files::GetCatalogInfo(files::FileRef(*path), files::LinkMode::kFollow);
    if (info.ok() && info->IsFile()) SendFileToServer(*server, *path);
  }
  if (!collected.empty() && queue::IsViewDisplayed(id)) queue::RefillMainList();
  queue::MarkQueueDirty();
  return true;
}

std::vector<std::uint32_t> SourceList::SelectedIdentifiers() const {
  std::vector<std::uint32_t> ids;
  for (const auto& row : list_.CopySelection()) ids.push_back(row->identifier);
  return ids;
}

}  // namespace ui
