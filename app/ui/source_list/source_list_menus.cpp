// The source list's row menus and the commands it carries out on the selected rows.
#include <algorithm>

#include "app/engine/urls/sensitive_servers.h"
#include "app/queue/adding/add_download.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/folders/folder_table.h"
#include "app/queue/operations/remove_downloads.h"
#include "app/queue/record/download_files.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/commands/command_table.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/services/confirmation_service.h"
#include "app/ui/services/local_pane_hosts.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/services/row_command_windows.h"
#include "app/ui/source_list/source_list.h"
#include "app/util/files/file_bridges.h"
#include "app/util/settings/settings_store.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/services/desktop_services.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {

namespace {

using queue::ViewID;
using values::FourCC;
using values::FourCharCode;

// Builds a menu: separators only where needed (never first, never doubled).
class MenuBuilder {
 public:
  explicit MenuBuilder(toolbox::MenuRef menu) : menu_(std::move(menu)) {}
  void Item(const char* key, FourCharCode command, bool enabled = true) {
    toolbox::MenuItem item{.text = values::Localized(key), .command = command, .enabled = enabled};
    menu_->AppendItem(item);
  }
  // The Option pair: the plain text while Option is held (it does not confirm), the
  // text with "..." otherwise.
  void OptionPair(const char* key, FourCharCode command) {
    std::string text = values::Localized(key);
    if (text.ends_with("...")) text.resize(text.size() - 3);
    toolbox::MenuItem plain{.text = values::Format("%@...", {text}), .command = command};
    menu_->AppendItem(plain);
    toolbox::MenuItem option{.text = text, .command = command, .dynamic = true};
    menu_->AppendItem(option);
  }
  void Separator() {
    const int n = menu_->CountItems();
    if (n == 0 || menu_->Item(n)->separator) return;
    menu_->AppendSeparator();
  }
  toolbox::MenuRef Done() {
    const int n = menu_->CountItems();
    if (n > 0 && menu_->Item(n)->separator) menu_->DeleteItem(n);
    return menu_;
  }

 private:
  toolbox::MenuRef menu_;
};

// Whether the smart folder's saved-search file is still there; an alias that no longer
// resolves is dropped on the way.
bool SavedSearchResolves(ViewID id) {
  const queue::FolderRef folder = queue::LookUpFolder(id);
  if (!folder || !(folder->flags() & queue::kFolderFlagSmart)) return false;
  std::optional<values::Bytes> alias = folder->savedSearchAlias();
  if (!alias) return false;
  if (queue::ResolveAliasField(alias)) return true;
  folder->setSavedSearchAlias(std::nullopt);
  return false;
}

bool ViewHasItems(ViewID id) {
  return !queue::CopyViewItems(id).empty();
}

constexpr FourCharCode kAddToMyServers = values::FourCCFromBytes('A', 'M', 'y', 0xC4);
constexpr FourCharCode kRemoveSensitive = values::FourCCFromBytes('S', 'S', 'R', 0xBF);
constexpr FourCharCode kAddSensitive = values::FourCCFromBytes('S', 'S', 'b', 0xBF);

void HostItems(MenuBuilder& m, std::uint32_t identifier) {
  const auto host = browser::RemoteRowsServiceSlot::Get().GetHostForViewID(identifier);
  if (!host) return;
  bool session = true;
  if (host->hostType == browser::kHostBonjourPeer) {
    auto peer = sharing::SharingRowsServiceSlot::Get().PeerForBonjourName(host->bonjourName);
    session = peer && peer->connection();
  }
  if (session) {
    m.Item("Refresh", FourCC("RFFl"));
    m.Item("Disconnect", FourCC("DcFl"));
    m.Separator();
    std::optional<std::string> favourite;
    if (host->hostType == browser::kHostPeerByAddress)
      if (auto peer = sharing::PeerHostsServiceSlot::Get().CopyPeerHost(host->peerID))
        favourite = peer->favouriteName;
    // The peer's favourite is edited in the favourite sheet, which the program does not
    // have yet; the application's Edit edits downloads and would open nothing here.
    if (favourite && browser::RemoteRowsServiceSlot::Get().HasFavouriteNamed(*favourite))
      m.Item("Edit...", FourCC("Edit"), false);
    else
      m.Item("Add to My Servers", kAddToMyServers);
  }
  if (host->hostType == browser::kHostFTP || host->hostType == browser::kHostFTPS) {
    auto node = browser::RemoteRowsServiceSlot::Get().FTPNodeForHostID(host->ftpID);
    const bool sensitive = node && engine::IsSensitiveServerHost(node->host());
    if (sensitive)
      m.Item("Remove From Sensitive Servers", kRemoveSensitive);
    else
      m.Item("Add to Sensitive Servers", kAddSensitive);
    m.Item("Show Session Log", FourCC("SL*g"));
  }
  m.Separator();
  const std::optional<LocalPaneHost> pane = LocalPaneHostsServiceSlot::Get().HostForView(identifier);
  if (pane && pane->splitPanes)
    m.Item("kViewAsList", FourCC("ViAl"));
  else
    m.Item("kViewInSplitPane", FourCC("VSpl"));
  m.Item(util::CurrentSettings()->hideHiddenFiles ? "kShowInvisibles" : "kHideInvisibles", FourCC("TSin"));
}

// The host name of a selected FTP or FTPS server row.
std::optional<std::string> FTPHostName(std::uint32_t id) {
  if (!IsHostRowIdentifier(id)) return std::nullopt;
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const auto host = remote.GetHostForViewID(id);
  if (!host || (host->hostType != browser::kHostFTP && host->hostType != browser::kHostFTPS))
    return std::nullopt;
  auto node = remote.FTPNodeForHostID(host->ftpID);
  if (!node) return std::nullopt;
  return node->host();
}

// Adds the host to the sensitive servers unless a rule already covers it, or removes its
// first equal rule; the list is stored at once, as the preferences window stores it.
void SetSensitiveServer(const std::string& host, bool sensitive) {
  bool changed = false;
  util::ChangeSettings([&](util::Settings& s) {
    auto& rules = s.blackList;
    if (sensitive) {
      const bool covered = std::any_of(rules.begin(), rules.end(), [&](const std::string& rule) {
        return engine::SensitiveServerRuleMatches(rule, host);
      });
      if (!covered) {
        rules.push_back(host);
        changed = true;
      }
    } else if (auto it = std::find(rules.begin(), rules.end(), host); it != rules.end()) {
      rules.erase(it);
      changed = true;
    }
  });
  if (!changed) return;
  values::Array stored;
  for (const auto& rule : util::CurrentSettings()->blackList) stored.emplace_back(rule);
  util::SetPreferenceValue("blackList", values::Value(std::move(stored)));
}

}  // namespace

toolbox::MenuRef SourceListContextMenu(std::uint32_t id, bool simpleMode) {
  MenuBuilder m(toolbox::Menu::Create(0));
  const FourCharCode viewOptions = FourCC("GtIf");
  switch (id) {
    case queue::kMyDownloadsViewID:
      m.Item("Add Download...", FourCC("New "));
      m.Item("Add Files from URL...", FourCC("AurS"));
      m.Separator();
      if (ViewHasItems(id)) {
        m.OptionPair("Remove All...", FourCC("ClrC"));
        m.Item("kRemoveOrphaned", FourCC("ClrO"));
        m.Item("Remove Cancelled Downloads...", FourCC("ClC*"));
        m.Item("Remove Finished Downloads...", FourCC("ClIn"));
      }
      m.Separator();
      m.Item("Refresh list", FourCC("RFFl"));
      m.Separator();
      m.Item("View Options...", viewOptions);
      return m.Done();
    case queue::kHistoryViewID:
      if (ViewHasItems(id)) {
        m.Item("Clear History", FourCC("C!Hi"));
        m.Separator();
        m.Item("Refresh list", FourCC("RFFl"));
      }
      m.Separator();
      m.Item("Hide History", FourCC("HiHI"));
      m.Separator();
      m.Item("View Options...", viewOptions);
      return m.Done();
    case queue::kFiltersViewID:
      m.Item("Setup Filters...", FourCC("S!Fi"));
      m.Separator();
      if (ViewHasItems(id)) m.Item("Clear all filters", FourCC("ClAf"));
      m.Separator();
      m.Item("Refresh list", FourCC("RFFl"));
      m.Separator();
      m.Item("Hide My Filters", FourCC("HiFi"));
      m.Separator();
      m.Item("View Options...", viewOptions);
      return m.Done();
    case queue::kMyServersViewID:
      m.Item("kConnectToServer", FourCC("Conn"));
      m.Separator();
      m.Item("Hide My Servers", FourCC("HiSe"));
      m.Separator();
      m.Item("View Options...", viewOptions);
      return m.Done();
    case queue::kMyUploadsViewID:
      m.Item("Send File(s)...", FourCC("SnFi"));
      m.Separator();
      if (ViewHasItems(id)) {
        m.Item("Remove All...", FourCC("ClrC"));
        m.Item("kContextualRemoveInactiveUploads", FourCC("ClIn"));
        m.Item("kContextualRemoveCancelledUploads", FourCC("ClC*"));
        m.Separator();
        m.Item("Refresh list", FourCC("RFFl"));
      }
      m.Separator();
      m.Item("Hide My Uploads", FourCC("HiUp"));
      m.Separator();
      m.Item("View Options...", viewOptions);
      return m.Done();
    case queue::kReceivedFilesViewID:
      if (ViewHasItems(id)) {
        m.Item("Remove All...", FourCC("ClrE"));
        m.Separator();
      }
      m.Item("Refresh list", FourCC("RFFl"));
      m.Separator();
      m.Item("Hide Received Files", FourCC("HiRf"));
      m.Separator();
      m.Item("View Options...", viewOptions);
      return m.Done();
    default:
      break;
  }
  if (queue::IsDateFolderID(id)) return m.Done();
  if (IsHostRowIdentifier(id)) {
    HostItems(m, id);
    return m.Done();
  }
  if (queue::IsSmartFolderID(id)) {
    m.Item("Rename", FourCC("RenF"));
    m.OptionPair("Remove", FourCC("RmFl"));
    m.Item("Edit Smart Folder", FourCC("eSFe"));
    if (queue::GetFolderItemCount(id) > 0) {
      m.Item("Refresh list", FourCC("RFFl"));
      m.Separator();
    }
    m.Item(SavedSearchResolves(id) ? "Reveal in Finder" : "Create Finder Smart Folder...",
           SavedSearchResolves(id) ? FourCC("RFin") : FourCC("CrSF"));
    return m.Done();
  }
  if (queue::IsUserFolderID(id)) {
    m.Item("Rename", FourCC("RenF"));
    m.OptionPair("Remove", FourCC("RmFl"));
    m.Separator();
    if (queue::GetFolderItemCount(id) > 0) {
      m.OptionPair("Remove All...", FourCC("ClrE"));
      m.Item("Refresh list", FourCC("RFFl"));
      m.Separator();
    }
    if (!simpleMode) {
      if (util::CurrentSettings()->shareFolders) {
        const queue::FolderRef folder = queue::LookUpFolder(id);
        if (folder && (folder->flags() & queue::kFolderFlagShared))
          m.Item("Unshare", FourCC("Unsh"));
        else
          m.Item("Share...", FourCC("Shar"));
      }
      m.Item("Sharing Settings...", FourCC("ShrS"));
      m.Separator();
    }
    return m.Done();
  }
  m.Separator();
  m.Item("View Options...", viewOptions);
  return m.Done();
}

void SourceList::InstallCommandHandler(toolbox::Control& control) {
  handler_ = control.target()->InstallHandler(
      {{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
       {toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus}},
      [this](runtime::HandlerCall&, runtime::Event& event) { return SourceListContextCommand(event); });
}

void SourceList::RemoveAllFromRow(std::uint32_t id) {
  const queue::FolderRef folder = queue::LookUpFolder(id);
  if (!folder || !folder->HasItems()) return;
  int answer = 1;
  if (folder->containsFiles()) {
    answer = ConfirmationServiceSlot::Get().RunConfirmationAlert(14, true);
    if (answer != 1 && answer != 2) return;
  }
  std::vector<queue::DownloadUID> uids;
  std::vector<std::string> trash;
  {
    std::lock_guard lock(folder->itemsLock());
    for (const auto& [uid, wrapper] : folder->items()) {
      uids.push_back(uid);
      if (answer == 2) {
        queue::DownloadQueueElement& e = wrapper->element();
        if (const auto& complete = queue::DownloadQueueElementGetCompleteURL(e))
          if (auto path = values::PathFromFileUrl(*complete)) trash.push_back(*path);
        if (auto package = queue::CopyPartialPackageURL(e)) trash.push_back(package->Path());
      }
    }
  }
  queue::RemoveDownloadsFromFolder(uids, id, false, true);
  if (!trash.empty()) util::MoveItemsToTrash(trash);
  MainListServicesSlot::Get().RefreshStatusBar();
}

runtime::Status SourceList::SourceListContextCommand(runtime::Event& event) {
  const toolbox::Command command = toolbox::GetCommand(event);
  if (event.kind() == toolbox::kEventCommandUpdateStatus) {
    if (command.id != FourCC("past")) return runtime::kEventNotHandledErr;
    toolbox::SetCommandEnabled(event, toolbox::GetClipboardText().has_value());
    return runtime::kNoErr;
  }
  // The list takes only its lines of the command table; a pending one goes on, to be
  // refused by the window and the application too.
  const CommandEntry* entry = FindCommand(CommandScope::kSourceList, command.id);
  if (!entry || entry->pending()) return runtime::kEventNotHandledErr;
  return RunCommand(command.id);
}

runtime::Status SourceList::RunCommand(FourCharCode commandID) {
  const std::vector<std::uint32_t> selected = SelectedIdentifiers();
  auto& remote = browser::RemoteRowsServiceSlot::Get();
  const toolbox::Command command{commandID};
  switch (command.id) {
    case FourCC("RFFl"):
      for (std::uint32_t id : selected) {
        if (IsHostRowIdentifier(id)) {
          const auto host = remote.GetHostForViewID(id);
          if (host && host->hostType == browser::kHostPeerByAddress)
            sharing::PeerHostsServiceSlot::Get().RefreshSharingHost(host->peerID);
          else if (host && host->hostType != browser::kHostBonjourPeer)
            remote.RefreshHost(id);
        } else {
          queue::RecheckViewItemFiles(id);
        }
      }
      return runtime::kNoErr;
    case FourCC("DcFl"): {
      // The hosts first: each disconnection relabels the rows after its own.
      std::vector<browser::RemoteHost> hosts;
      for (std::uint32_t id : selected)
        if (IsHostRowIdentifier(id))
          if (auto host = remote.GetHostForViewID(id)) hosts.push_back(*host);
      for (const auto& host : hosts) {
        if (host.hostType == browser::kHostPeerByAddress)
          sharing::PeerHostsServiceSlot::Get().DisconnectPeer(host.peerID);
        else if (host.hostType != browser::kHostBonjourPeer)
          remote.DisconnectRemoteHost(host);
      }
      queue::RefillMainList();
      return runtime::kNoErr;
    }
    case FourCC("ClrE"): {
      if (selected.empty()) return runtime::kNoErr;
      const std::uint32_t id = selected.front();
      if (queue::IsUserFolderID(id) || queue::IsSmartFolderID(id) || queue::IsDateFolderID(id))
        RemoveAllFromRow(id);
      return runtime::kNoErr;
    }
    case FourCC("Unsh"):
      for (std::uint32_t id : selected)
        if (queue::IsUserFolderID(id)) queue::UnshareFolder(id);
      SourceListSortFolderRows(list_);
      return runtime::kNoErr;
    case FourCC("past"):
      queue::AddDownloadsFromClipboard();
      return runtime::kNoErr;
    case kAddSensitive:
    case kRemoveSensitive:
      for (std::uint32_t id : selected)
        if (auto host = FTPHostName(id)) SetSensitiveServer(*host, command.id == kAddSensitive);
      return runtime::kNoErr;
    default:
      return RunRowCommand(command.id, selected);
  }
}

}  // namespace ui

namespace ui {
namespace {

using values::FourCC;

runtime::Status SourceListCommand(values::FourCharCode command) {
  SourceList* list = GetSourceList();
  return list ? list->RunCommand(command) : runtime::kEventNotHandledErr;
}

constexpr values::FourCharCode kAddToMyServersCommand = values::FourCCFromBytes('A', 'M', 'y', 0xC4);

constexpr CommandEntry kSourceListCommands[] = {
    Command(FourCC("RFFl"), CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("DcFl"), CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("ClrE"), CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("Unsh"), CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("past"), CommandScope::kSourceList, SourceListCommand),
    Command(kAddSensitive, CommandScope::kSourceList, SourceListCommand),
    Command(kRemoveSensitive, CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("SL*g"), CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("CrSF"), CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("RFin"), CommandScope::kSourceList, SourceListCommand),
    Command(kAddToMyServersCommand, CommandScope::kSourceList, SourceListCommand),
    Command(FourCC("Shar"), CommandScope::kSourceList, SourceListCommand),
    // The preferences window: enabled once its owner installs it.
    Command(FourCC("ShrS"), CommandScope::kSourceList, SourceListCommand,
            [] { return bool(RowCommandWindowHooksSlot::Get().showPreferencesWindow); }),
};

}  // namespace

std::span<const CommandEntry> SourceListCommandEntries() {
  return kSourceListCommands;
}

}  // namespace ui
