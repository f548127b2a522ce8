#include "app/queue/folders/displayed_views.h"

#include <unordered_set>

#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/queue_queries.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_locks.h"
#include "app/queue/record/queue_tables.h"
#include "app/queue/services/history_filter_rows.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/upload/services/upload_rows.h"
#include "platform/values/string_compare.h"

namespace queue {
namespace {

using ui::MainListItem;
using ui::MakeListItem;
using ui::RowKind;

constexpr std::uint32_t kNameProperty = 1025;
constexpr std::uint32_t kFileProperty = 1038;
constexpr std::uint32_t kColumnIndexBase = 1024;
constexpr std::uint32_t kQueueCheckProperty = 11024;
constexpr std::uint32_t kQueuePositionProperty = 11025;
constexpr std::uint32_t kSortByQueuePosition = 10001;

std::set<ViewID>& Views() {
  static std::set<ViewID> views;
  return views;
}

ViewID& CurrentView() {
  static ViewID current = 0;
  return current;
}

ui::MainListBrowser& Browser() {
  return ui::MainListBrowserSlot::Get();
}

// Views whose rows are the downloads of a folder: My Downloads, user, smart and date folders.
bool IsQueueView(ViewID id) {
  return id == kMyDownloadsViewID || IsUserFolderID(id) || IsSmartFolderID(id) || IsDateFolderID(id);
}

bool ContainsText(const std::string& name, const std::string& text) {
  return values::FindString(name, text, values::kCaseInsensitive).has_value();
}

// The root row of a remote host's view; none when the host or its root is missing.
std::optional<MainListItem> HostRoot(ViewID id, bool* wasOpen) {
  const auto host = GetHostForViewID(id);
  if (!host) return std::nullopt;
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  auto& sharing = sharing::SharingRowsServiceSlot::Get();
  switch (host->hostType) {
    case browser::kHostBonjourPeer:
      if (auto peer = sharing.PeerForBonjourName(host->bonjourName)) {
        if (wasOpen) *wasOpen = peer->wasOpen();
        return MakeListItem(RowKind::kBonjourPeer, peer);
      }
      return std::nullopt;
    case browser::kHostPeerByAddress:
      if (auto peer = sharing.PeerConnectionForID(host->peerID)) {
        if (wasOpen) *wasOpen = true;
        return MakeListItem(RowKind::kPeerHost, peer);
      }
      return std::nullopt;
    case browser::kHostFTP:
    case browser::kHostFTPS:
      if (auto node = remote.FTPNodeForHostID(host->ftpID)) {
        if (wasOpen) *wasOpen = node->wasOpen();
        return MakeListItem(RowKind::kFTPNode, node);
      }
      return std::nullopt;
    case browser::kHostIDisk:
    case browser::kHostWebDAV:
    case browser::kHostSecureWebDAV:
      if (auto node = remote.DotMacNodeForHostID(host->nodeID)) {
        if (wasOpen) *wasOpen = node->wasOpen();
        return MakeListItem(RowKind::kDotMacNode, node);
      }
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void OpenFlaggedContainers(const std::vector<MainListItem>& rows) {
  auto& browser = Browser();
  for (const auto& row : rows) {
    if (row.kind == RowKind::kHistoryDay && row.as<HistoryDayRow>().open()) browser.OpenRow(row);
    if (row.kind == RowKind::kFilter && row.as<FilterRow>().open()) browser.OpenRow(row);
  }
}

// Remote rows under a search: children filtered first; the row stays when its name has the
// text or it kept children.
bool RemoteRowMatches(const MainListItem& row, const std::string& text) {
  auto& browser = Browser();
  std::vector<MainListItem> failing;
  for (const auto& child : browser.Rows(&row)) {
    bool keep = true;
    if (child.kind == RowKind::kFTPNode || child.kind == RowKind::kDotMacNode)
      keep = RemoteRowMatches(child, text);
    else if (child.kind == RowKind::kDownload)
      keep = ContainsText(child.as<DownloadQueueWrapper>().filename(), text);
    if (!keep) failing.push_back(child);
  }
  browser.RemoveRows(failing);
  if (text.empty()) return true;
  const std::string name = row.kind == RowKind::kFTPNode ? row.as<browser::FTPNodeRow>().name()
                                                         : row.as<browser::DotMacNodeRow>().name();
  return ContainsText(name, text) || !browser.Rows(&row).empty();
}

bool RowMatchesSearch(const MainListItem& row, const std::string& text) {
  switch (row.kind) {
    case RowKind::kDownload:
      return ElementMatchesFilterAndSearch(row.as<DownloadQueueWrapper>().element(), text);
    case RowKind::kFTPNode:
    case RowKind::kDotMacNode:
      return text.empty() || RemoteRowMatches(row, text);
    case RowKind::kFavourite:
      return text.empty() || ContainsText(row.as<browser::FavouriteRow>().name(), text);
    case RowKind::kReceivedFile:
      return text.empty() ||
             ContainsText(row.as<sharing::ReceivedFileRow>().name().value_or(std::string()), text);
    case RowKind::kUpload:
      return row.as<upload::UploadRow>().MatchesListFilter(text);
    default:
      return true;
  }
}

}  // namespace

const std::set<ViewID>& GetDisplayedViewSet() {
  return Views();
}

bool IsViewDisplayed(ViewID id) {
  return Views().count(id) != 0;
}

ViewID GetCurrentViewID() {
  return CurrentView();
}

std::optional<browser::RemoteHost> GetHostForViewID(ViewID id) {
  if (!IsRemoteHostViewID(id)) return std::nullopt;
  return browser::RemoteRowsServiceSlot::Get().GetHostForViewID(id);
}

ViewID LayoutFolderID(ViewID id) {
  if (!IsRemoteHostViewID(id)) return id;
  const auto host = GetHostForViewID(id);
  switch (host ? host->hostType : 0) {
    case browser::kHostFTP:
    case browser::kHostFTPS:
      return kFTPHostsViewID;
    case browser::kHostIDisk:
      return kIDiskHostsViewID;
    case browser::kHostWebDAV:
    case browser::kHostSecureWebDAV:
      return kWebDAVHostsViewID;
    default:
      return kPeerHostsViewID;
  }
}

std::vector<MainListItem> CopyViewItems(ViewID id) {
  std::vector<MainListItem> items;
  if (id == kReceivedFilesViewID) {
    for (auto& f : sharing::SharingRowsServiceSlot::Get().ReceivedFilesCopyArray())
      items.push_back(MakeListItem(RowKind::kReceivedFile, f));
  } else if (id == kMyUploadsViewID) {
    for (auto& u : upload::UploadRowsServiceSlot::Get().CopyAllUploadItems())
      items.push_back(MakeListItem(RowKind::kUpload, u));
  } else if (IsQueueView(id)) {
    std::lock_guard foldersGuard(gFoldersLock);
    if (FolderRef folder = LookUpFolder(id); folder && folder->HasItems()) {
      const auto members = folder->Items();
      items.reserve(members.size());
      for (auto& [uid, wrapper] : members) items.push_back(MakeListItem(RowKind::kDownload, wrapper));
    }
  } else if (id == kMyServersViewID) {
    for (auto& f : browser::RemoteRowsServiceSlot::Get().CopyFavourites())
      items.push_back(MakeListItem(RowKind::kFavourite, f));
  } else if (id == kFiltersViewID) {
    for (auto& f : HistoryFilterRowsServiceSlot::Get().CopyFilters())
      items.push_back(MakeListItem(RowKind::kFilter, f));
  } else if (id == kHistoryViewID) {
    for (auto& d : HistoryFilterRowsServiceSlot::Get().CopyHistoryDays())
      items.push_back(MakeListItem(RowKind::kHistoryDay, d));
  } else if (IsRemoteHostViewID(id)) {
    if (auto root = HostRoot(id, nullptr)) items.push_back(*root);
  }
  return items;
}

std::vector<MainListItem> CopyDisplayedViewItems() {
  std::vector<MainListItem> all;
  std::unordered_set<std::uintptr_t> seen;
  for (ViewID id : Views())
    for (auto& item : CopyViewItems(id))
      if (seen.insert(item.id()).second) all.push_back(std::move(item));
  return all;
}

void DisplayView(ViewID id) {
  auto& browser = Browser();
  if (Views().empty()) {
    CurrentView() = id;
    browser.SetTarget(nullptr);
    browser.RemoveAllColumns();
    FolderRef layout = LookUpFolder(LayoutFolderID(id));
    if (layout) browser.RestoreColumnLayout(layout->options(), layout->sort(), layout->sortOrder());
    browser.UpdateFilterBar(id);
    if (IsRemoteHostViewID(id)) browser.AddFixedColumns(ui::FixedColumns::kHostIcon);
    if (id == kMyServersViewID) browser.AddFixedColumns(ui::FixedColumns::kAutoConnect);
    if (IsQueueView(id)) {
      browser.AddFixedColumns(ui::FixedColumns::kQueue);
      if (layout && layout->sort() == kSortByQueueOrder)
        browser.SetSort(kQueueCheckProperty, layout->sortOrder());
      if (layout && layout->sort() == kSortByQueuePosition)
        browser.SetSort(kQueuePositionProperty, layout->sortOrder());
    }
    browser.ScrollToTop();
    browser.ClearSearchText();
    browser.SetDisclosureColumn(0);
  }
  std::vector<MainListItem> items = CopyViewItems(id);
  const std::string search = browser.SearchText();
  Views().insert(id);
  if (!items.empty()) {
    if (IsQueueView(id)) {
      std::erase_if(items, [&](const MainListItem& item) {
        return !ElementMatchesFilterAndSearch(item.as<DownloadQueueWrapper>().element(), search);
      });
    }
    browser.AddRows(items, nullptr);
    if (id == kFiltersViewID || id == kHistoryViewID) {
      OpenFlaggedContainers(items);
      browser.SetDisclosureColumn(kNameProperty);
      RemoveRowsNotMatchingSearch(search);
    } else if (id == kMyUploadsViewID || id == kReceivedFilesViewID) {
      RemoveRowsNotMatchingSearch(search);
    } else if (IsRemoteHostViewID(id)) {
      bool wasOpen = false;
      if (auto root = HostRoot(id, &wasOpen)) {
        if (wasOpen) browser.OpenRow(*root);
        browser.SetTarget(&*root);
      }
      browser.SetDisclosureColumn(kNameProperty);
      RemoveRowsNotMatchingSearch(search);
    }
  }
  browser.ListFilled();
}

void RemoveDisplayedView(ViewID id) {
  Views().erase(id);
}

void ClearDisplayedViews() {
  auto& browser = Browser();
  if (CurrentView() != 0) {
    if (FolderRef layout = LookUpFolder(LayoutFolderID(CurrentView()))) {
      FolderColumnOptions options = layout->options();
      if (browser.SaveColumnLayout(options)) {
        const bool same = layout->setOptions(options);
        const std::uint32_t property = browser.SortProperty();
        const std::uint32_t sort = property >= kColumnIndexBase ? property - kColumnIndexBase : 0;
        const std::uint16_t order = browser.SortOrder();
        if (!same || sort != layout->sort() || order != layout->sortOrder()) MarkFolderSettingsDirty();
        layout->setSort(sort);
        layout->setSortOrder(order);
      }
    }
  }
  CurrentView() = 0;
  browser.RemoveAllRows();
  Views().clear();
}

void DisplayViews(std::set<ViewID> views) {
  ClearDisplayedViews();
  for (ViewID id : views) DisplayView(id);
  RefillMainList();
}

void RefillMainList() {
  auto& browser = Browser();
  const auto selected = browser.SelectedRows();
  browser.RemoveAllRows();
  const auto items = CopyDisplayedViewItems();
  browser.SetTarget(nullptr);
  if (!items.empty()) {
    const std::string search = browser.SearchText();
    browser.AddRows(items, nullptr);
    if (IsViewDisplayed(kHistoryViewID) || IsViewDisplayed(kFiltersViewID)) {
      OpenFlaggedContainers(items);
    } else {
      for (ViewID id : Views()) {
        if (!IsRemoteHostViewID(id)) continue;
        bool wasOpen = false;
        if (auto root = HostRoot(id, &wasOpen)) {
          if (root->kind != RowKind::kBonjourPeer || wasOpen) browser.OpenRow(*root);
          browser.SetTarget(&*root);
        }
      }
    }
    RemoveRowsNotMatchingSearch(search);
  }
  browser.ListFilled();
  browser.SelectRows(selected);
}

void RemoveRowsNotMatchingSearch(const std::string& text) {
  auto& browser = Browser();
  std::vector<MainListItem> failing;
  for (const auto& row : browser.Rows(nullptr))
    if (!RowMatchesSearch(row, text)) failing.push_back(row);
  browser.RemoveRows(failing);
}

void AddElementToDisplayedFolders(const WrapperRef& wrapper) {
  std::lock_guard guard(gFoldersLock);
  for (ViewID id : Views()) AddElementToListableFolder(id, wrapper);
}

void RecheckViewItemFiles(ViewID id) {
  if (id == kHistoryViewID) {
    for (DownloadUID uid : HistoryFilterRowsServiceSlot::Get().CopyHistoryDownloadUIDs())
      if (WrapperRef w = LookUpDownloadWrapper(uid)) DownloadQueueElementGetCompleteURL(w->element());
  } else if (id == kFiltersViewID) {
    const auto filters = HistoryFilterRowsServiceSlot::Get().CopyFilterExtensions();
    QueueTablesGuard guard;
    for (const auto& extensions : filters)
      for (auto& [uid, w] : gQueueItems)
        for (const auto& ext : extensions)
          if (w->filename().ends_with(ext)) {
            DownloadQueueElementGetCompleteURL(w->element());
            break;
          }
  } else if (id == kMyUploadsViewID) {
    upload::UploadRowsServiceSlot::Get().CheckUploadFiles();
    return;
  } else if (id == kMyDownloadsViewID || id >= kFirstUserFolderID) {
    std::lock_guard foldersGuard(gFoldersLock);
    if (FolderRef folder = LookUpFolder(id); folder && folder->HasItems()) {
      for (auto& [uid, w] : folder->Items()) DownloadQueueElementGetCompleteURL(w->element());
    }
  } else {
    return;
  }
  if (IsViewDisplayed(id)) Browser().UpdateColumn(kFileProperty);
}

bool IsCurrentViewFTPHost() {
  const auto host = GetHostForViewID(CurrentView());
  return host && (host->hostType == browser::kHostFTP || host->hostType == browser::kHostFTPS);
}

bool IsCurrentViewWebDAVHost() {
  const auto host = GetHostForViewID(CurrentView());
  return host && host->hostType >= browser::kHostIDisk && host->hostType <= browser::kHostSecureWebDAV;
}

bool IsDisplayingRemoteHost() {
  for (ViewID id : Views())
    if (id >= kFirstHostViewID && id <= kLastHostViewID + 1) return true;
  return false;
}

bool IsDisplayingUserFolder() {
  for (ViewID id : Views())
    if (IsUserFolderID(id)) return true;
  return false;
}

bool IsDisplayingSmartFolder() {
  for (ViewID id : Views())
    if (IsSmartFolderID(id) || IsDateFolderID(id)) return true;
  return false;
}

bool DisplayedFoldersContainFiles() {
  for (ViewID id : Views())
    if (FolderRef folder = LookUpFolder(id); folder && folder->containsFiles()) return true;
  return false;
}

bool IsDisplayingUploads() {
  return IsViewDisplayed(kMyUploadsViewID);
}

bool IsDisplayingReceivedFiles() {
  return IsViewDisplayed(kReceivedFilesViewID);
}

bool IsDisplayingDownloads() {
  for (ViewID id : Views()) {
    if (id == kMyDownloadsViewID || id == kHistoryViewID || IsUserFolderID(id) || IsSmartFolderID(id) ||
        IsDateFolderID(id))
      return true;
  }
  return false;
}

}  // namespace queue
