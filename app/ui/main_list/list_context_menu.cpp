#include "app/ui/main_list/list_context_menu.h"

#include "app/browser/services/remote_rows.h"
#include "app/engine/urls/sensitive_servers.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/sharing/services/sharing_rows.h"
#include "app/ui/main_list/list_cells.h"
#include "app/ui/main_list/list_columns.h"
#include "app/ui/main_list/main_list.h"
#include "app/ui/main_window/main_window.h"
#include "app/upload/services/upload_rows.h"
#include "platform/toolbox/services/modifiers.h"
#include "platform/toolbox/services/open_with.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"
#include "platform/values/url.h"

namespace ui {
namespace {

using toolbox::Menu;
using toolbox::MenuItem;
using toolbox::MenuRef;
using values::FourCharCode;

constexpr std::int32_t kHostFileHosting = 8;

std::string L(std::string_view key) {
  return values::Localized(key);
}

struct Summary {
  // Downloads.
  int D = 0, P = 0, Z = 0, X = 0, Cf = 0;
  std::int32_t S = 0;
  bool L = false, B = false;
  // Uploads.
  int U = 0, H = 0, Q = 0, R = 0;
  std::int32_t T = 0;
  bool uploadIdle = false;  // an upload that is not uploading
  // Received files.
  int G = 0, G3 = 0, Gother = 0;
  // Favourites.
  bool V = false, Vplus = false, Vminus = false;
  // Remote rows.
  bool K = false, O = true, Y = false, Jr = false, Jp = false;
  int N = 0, I = 0, J = 0;
  bool file = false;  // the menu has a file to open or reveal
  std::string filePath;
  bool container = false;
};

void AddDownload(Summary& s, const queue::DownloadQueueElement& e) {
  ++s.D;
  s.S |= e.status;
  if (e.hostID == 0) s.L = true;
  if (e.hostID & 0x80000000u) s.B = true;
  if (e.progress > 0 && e.status != queue::kStatusCompleted) ++s.P;
  bool sensitive = false;
  for (const auto& host : e.domains) sensitive = sensitive || engine::IsSensitiveServerHost(host);
  if (sensitive) ++s.Z;
  if (e.flags & 8) ++s.X;
  if (e.completeFile) {
    ++s.Cf;
    if (e.completeURL) {
      s.file = true;
      if (s.filePath.empty()) s.filePath = values::PathFromFileUrl(*e.completeURL).value_or("");
    }
  }
}

Summary Summarise(const std::vector<MainListItem>& selected, const MainListItem* container) {
  Summary s;
  for (const MainListItem& row : selected) {
    switch (row.kind) {
      case RowKind::kDownload:
        AddDownload(s, row.as<queue::DownloadQueueWrapper>().element());
        break;
      case RowKind::kUpload: {
        const auto& u = row.as<upload::UploadRow>();
        ++s.U;
        s.T |= u.state();
        if (u.hostType() == kHostFileHosting) ++s.H;
        if (u.state() == upload::kUploadWaiting && u.waitingIndex() != UINT32_MAX) ++s.Q;
        if (u.bytesTransferred() > 0 && u.bytesTransferred() < u.fileSize()) ++s.R;
        if (u.state() != upload::kUploadUploading) s.uploadIdle = true;
        if (u.localPath()) {
          s.file = true;
          if (s.filePath.empty()) s.filePath = *u.localPath();
        }
        break;
      }
      case RowKind::kReceivedFile: {
        auto& received = *std::static_pointer_cast<sharing::ReceivedFileRow>(row.record);
        ++s.G;
        if (received.status() == sharing::kReceivedFileReceiving)
          ++s.G3;
        else
          ++s.Gother;
        // The first finished file that is still found is the menu's file.
        if (!s.file && received.status() == sharing::kReceivedFileReceived)
          if (auto path = received.UpdatePath()) {
            s.file = true;
            s.filePath = *path;
          }
        break;
      }
      case RowKind::kFavourite:
        s.V = true;
        if (row.as<browser::FavouriteRow>().connected())
          s.Vplus = true;
        else
          s.Vminus = true;
        break;
      case RowKind::kFTPNode:
        s.K = true;
        ++s.N;
        if (!row.as<browser::FTPNodeRow>().hasParent()) s.Y = true;
        break;
      case RowKind::kPeerHost:
        s.K = true;
        break;
      case RowKind::kBonjourPeer:
        if (row.as<sharing::BonjourPeerRow>().connection()) s.K = true;
        break;
      case RowKind::kDotMacNode: {
        const auto& n = row.as<browser::DotMacNodeRow>();
        ++s.I;
        if (!n.isDirectory()) ++s.J;
        if (!n.hasParent()) s.Jr = s.Jp = true;
        break;
      }
      default:
        break;
    }
  }
  if (!selected.empty() || !container) return s;
  // No selection: the container the list shows.
  switch (container->kind) {
    case RowKind::kFTPNode:
      s.container = true;
      s.K = true;
      s.N = 1;
      s.Y = true;
      break;
    case RowKind::kDotMacNode:
      s.container = true;
      s.I = 1;
      s.Jp = s.Jr = !container->as<browser::DotMacNodeRow>().hasParent();
      break;
    case RowKind::kPeerHost:
      s.container = true;
      s.K = true;
      break;
    case RowKind::kBonjourPeer:
      if (container->as<sharing::BonjourPeerRow>().connection()) {
        s.container = true;
        s.K = true;
      }
      break;
    default:
      break;
  }
  return s;
}

class Builder {
 public:
  Builder() : menu_(Menu::Create(kListContextMenuID)) {}
  void Item(const std::string& text, FourCharCode command) {
    menu_->AppendItem(MenuItem{.text = text, .command = command});
  }
  void Item(int count, const char* one, const char* many, FourCharCode command) {
    Item(L(count == 1 ? one : many), command);
  }
  // The "%@..." form, with the plain text as its Option alternate.
  void Pair(const std::string& text, FourCharCode command) {
    Item(values::Format("%@...", {text}), command);
    menu_->AppendItem(
        MenuItem{.text = text, .command = command, .modifiers = toolbox::kModifierOption, .dynamic = true});
  }
  void Pair(int count, const char* one, const char* many, FourCharCode command) {
    Pair(L(count == 1 ? one : many), command);
  }
  void Separator() {
    if (menu_->CountItems() == 0 || menu_->Item(menu_->CountItems())->separator) return;
    menu_->AppendSeparator();
  }
  void ShiftItems() {
    Pair(L("Shift up"), listcmd::kShiftUp);
    ReplaceAlternate(L("Shift up 5"), listcmd::kShiftUp5);
    Pair(L("Shift down"), listcmd::kShiftDown);
    ReplaceAlternate(L("Shift down 5"), listcmd::kShiftDown5);
  }
  MenuRef Finish() {
    while (menu_->CountItems() > 0 && menu_->Item(menu_->CountItems())->separator)
      menu_->DeleteItem(menu_->CountItems());
    return menu_->CountItems() == 0 ? nullptr : menu_;
  }
  Menu& menu() { return *menu_; }

 private:
  // The shift pairs: plain by one, with Option by five; no dots on either.
  void ReplaceAlternate(const std::string& text, FourCharCode command) {
    const int last = menu_->CountItems();
    MenuItem* alt = menu_->Item(last);
    alt->text = text;
    alt->command = command;
    MenuItem* plain = menu_->Item(last - 1);
    plain->text = plain->text.substr(0, plain->text.size() - 3);
  }
  MenuRef menu_;
};

}  // namespace

MenuRef BuildListContextMenu(const std::vector<MainListItem>& selected, const MainListItem* container,
                             const ListMenuContext& context) {
  const Summary s = Summarise(selected, container);
  Builder b;
  const bool one = selected.size() == 1;
  // 1 and 2. Open and reveal. The Open With submenu lists the programs for the file; with
  // none found the item is left out.
  if ((s.file || s.L) && one && (s.U == 0 || s.uploadIdle) && !s.filePath.empty() && context.openWithMenu) {
    if (MenuRef programs = context.openWithMenu(s.filePath); programs && programs->CountItems() > 0) {
      const int index = b.menu().AppendItem(
          MenuItem{.text = L("Open With"), .command = listcmd::kOpenWith, .submenu = programs});
      b.menu().SetItemProperty(index, values::FourCC("Truv"), kURLProperty, values::Value(s.filePath));
    }
  }
  if ((s.file || s.L) && one) {
    b.Item(L("Reveal in Finder"), listcmd::kReveal);
    b.Separator();
  }
  // 3. Received files.
  if (s.G > 0) {
    if (s.G3 > 0) b.Item(s.G3, "Stop Incoming Transfer", "Stop Incoming Transfers", listcmd::kStop);
    b.Separator();
    if (s.Gother > 0) b.Pair(s.Gother, "Remove Received File", "Remove Received Files", listcmd::kRemove);
    b.Separator();
    b.Item(L("Connect to Host"), listcmd::kConnectToHost);
  }
  if (!selected.empty() || s.container) {
    // 4.1 Uploads.
    if (s.T != 0) {
      if (s.uploadIdle) {
        if (s.R == 0) {
          if (s.T & upload::kUploadFinished)
            b.Item(L("Send Again"), listcmd::kStart);
          else
            b.Item(s.U, "Start Upload", "Start Uploads", listcmd::kStart);
        } else {
          b.Item(s.R, "Resume Upload", "Resume Uploads", listcmd::kStart);
        }
      }
      if (s.T & upload::kUploadUploading) b.Item(s.U, "Stop Upload", "Stop Uploads", listcmd::kStop);
      b.Separator();
      if (s.uploadIdle) b.Item(s.U, "Connect to Host", "Connect to Hosts", listcmd::kConnectToHost);
    }
    // 4.2 Downloads.
    if (s.S & 0x5F0) {
      if (s.P == 0) {
        if (s.S & queue::kStatusCompleted)
          b.Item(L("Download Again"), listcmd::kStart);
        else
          b.Item(s.D, "Start Download", "Start Downloads", listcmd::kStart);
      } else {
        b.Item(s.P, "Resume Download", "Resume Downloads", listcmd::kStart);
      }
      b.Separator();
    }
    if (s.S & (queue::kStatusDownloading | queue::kStatusStarting)) {
      b.Item(s.D, "Stop Download", "Stop Downloads", listcmd::kStop);
      b.Separator();
    }
    // 4.3 Send To: the submenu of upload destinations; left out while it has no items.
    if (context.advancedMode && ((s.L && s.Cf > 0) || s.uploadIdle) && !context.sendTo.empty()) {
      b.Separator();
      auto submenu = Menu::Create(0, L("Send To"));
      for (std::size_t i = 0; i < context.sendTo.size(); ++i) {
        const upload::SendToMenuItem& entry = context.sendTo[i];
        if (entry.kind == upload::SendToKind::kSeparator) {
          submenu->AppendSeparator();
          continue;
        }
        const int index = submenu->AppendItem(MenuItem{.text = entry.title, .command = listcmd::kSendTo});
        submenu->SetItemProperty(index, values::FourCC("Truv"), kSendToEntryProperty,
                                 values::Value(static_cast<std::int64_t>(i)));
      }
      b.menu().AppendItem(MenuItem{.text = L("Send To"), .command = listcmd::kSendTo, .submenu = submenu});
      b.Separator();
    }
    // 4.4 The upload queue.
    if (s.uploadIdle) {
      b.Item(s.U, "Edit Upload...", "Edit Uploads...", listcmd::kEdit);
      if (s.Q > 0) b.Item(s.Q, "Hold Upload", "Hold Uploads", listcmd::kHold);
      if (s.U > s.Q) b.Item(s.U, "Queue Upload", "Queue Uploads", listcmd::kQueue);
      b.Pair(s.U, "Remove Upload", "Remove Uploads", listcmd::kRemove);
      b.Separator();
      if (context.uploadsWaiting >= 2 && s.Q >= 1) {
        b.ShiftItems();
        b.Separator();
      }
    }
    // 4.5 Saved servers: the menu ends with them.
    if (s.V) {
      if (s.Vminus) b.Item(L("Connect"), listcmd::kConnectFavourite);
      if (s.Vplus) b.Item(L("Disconnect"), listcmd::kDisconnectFavourite);
      b.Separator();
      b.Item(L("Edit..."), listcmd::kEditFavourite);
      b.Item(L("Duplicate"), listcmd::kDuplicate);
      b.Separator();
      b.Pair(L("Remove"), listcmd::kRemove);
      return b.Finish();
    }
    // 4.6 Remote hosts and folders.
    if (s.K) {
      if (s.N > 0 && !s.container) {
        b.Item(L("Start Download"), listcmd::kStart);
        b.Separator();
      }
      b.Item(L("Refresh"), listcmd::kRefresh);
      if (s.O) b.Item(L("Add to My Servers"), listcmd::kAddToMyServers);
      if (s.N > 0) {
        b.Separator();
        b.Item(L("kNewFolder"), listcmd::kNewFolder);
      }
    }
    // 4.7 WebDAV and iDisk items.
    if (s.I > 0) {
      if (s.Jr && s.O) b.Item(L("Add to My Servers"), listcmd::kAddToMyServers);
      if (s.J > 0) {
        if (s.I > 1) {
          b.Item(L("Start Downloads"), listcmd::kStart);
          b.Separator();
          b.Pair(L("Remove"), listcmd::kRemove);
        } else {
          b.Item(L("Start Download"), listcmd::kStart);
          b.Separator();
          b.Item(L("Rename"), listcmd::kRename);
          b.Pair(L("Remove"), listcmd::kRemove);
        }
      } else {
        if (!(s.Jp || s.container)) {
          b.Item(L("Start Download"), listcmd::kStart);
          b.Separator();
          b.Item(L("Refresh"), listcmd::kRefresh);
          b.Separator();
        }
        b.Item(L("kNewFolder"), listcmd::kNewFolder);
        b.Separator();
        if (!s.container) {
          b.Item(L("Rename"), listcmd::kRename);
          b.Pair(L("Remove"), listcmd::kRemove);
        }
      }
    }
    // 4.8 Remote files.
    if (s.N > 0 || s.B) {
      b.Separator();
      if (!s.Y) b.Item(L("Show Info..."), listcmd::kShowInfo);
      if (!s.B) {
        b.Item(L("Show Session Log"), listcmd::kSessionLog);
        if (!s.Y) {
          b.Separator();
          if (s.N < 2) b.Item(L("Rename"), listcmd::kRename);
        }
      }
      if (s.B && !s.Y) b.Item(L("Rename"), listcmd::kRename);
      if (!s.container) b.Pair(L("Remove"), listcmd::kRemove);
    }
    // 4.9 Local downloads.
    if (s.L && (s.S & 0x5F0)) b.Item(s.D, "Edit Download...", "Edit Downloads...", listcmd::kEdit);
    if (s.S & 0x5D0) b.Item(s.D, "Hold Download", "Hold Downloads", listcmd::kHold);
    if (s.S & 0x5E0) b.Item(s.D, "Queue Download", "Queue Downloads", listcmd::kQueue);
    if (s.L) {
      if ((s.S & queue::kStatusQueued) && context.queueOrderCount >= 2) {
        b.Item(L("Move To Top of Queue"), listcmd::kMoveToTop);
        b.ShiftItems();
        b.Separator();
      }
      if ((s.S & 0x5F0) && !context.filtersViewShown)
        b.Pair(s.D, "Remove Download", "Remove Downloads", listcmd::kRemove);
    }
    // 4.10 Details and URLs.
    b.Separator();
    if (s.T != 0 || s.L) b.Item(L("View Transfer Details..."), listcmd::kTransferDetails);
    if (s.D == 1 || s.H == 1) {
      b.Item(L("Copy URL To Clipboard"), listcmd::kCopyURLs);
      if (s.H >= 1) b.Item(L("kCopyKillURL"), listcmd::kCopyKillURLs);
    } else if (s.D > 1 || s.H > 1) {
      b.Item(L("Copy URLs To Clipboard"), listcmd::kCopyURLs);
      if (s.H >= 1) b.Item(L("kCopyKillURLs"), listcmd::kCopyKillURLs);
    }
    // 4.11 Sensitive servers.
    if (s.D > 0) {
      if (s.Z > 0) b.Item(L("Remove From Sensitive Servers"), listcmd::kRemoveSensitive);
      if (s.Z < s.D) b.Item(L("Add to Sensitive Servers"), listcmd::kAddSensitive);
    }
    // 4.12 Direct transfer.
    b.Separator();
    if (s.X > 0) b.Item(L("Direct Transfer"), listcmd::kDirectTransfer);
    b.Separator();
  }
  return b.Finish();
}

namespace {

// The destinations of the menu shown last: its "Send To" entries name them by index.
std::vector<upload::SendToMenuItem>& ShownSendTo() {
  static std::vector<upload::SendToMenuItem> entries;
  return entries;
}

// The files of the selected rows that can be sent: finished local downloads and uploads.
std::vector<std::string> SelectedFilePaths() {
  std::vector<std::string> paths;
  MainList* main = GetMainList();
  if (!main) return paths;
  for (const MainListItem& row : main->SelectedRows()) {
    if (row.kind == RowKind::kDownload) {
      auto& e = row.as<queue::DownloadQueueWrapper>().element();
      if (e.hostID != 0) continue;
      if (const auto& url = queue::DownloadQueueElementGetCompleteURL(e))
        if (auto path = values::PathFromFileUrl(*url)) paths.push_back(*path);
    } else if (row.kind == RowKind::kUpload) {
      if (auto path = row.as<upload::UploadRow>().localPath()) paths.push_back(*path);
    }
  }
  return paths;
}

ChooserKind ChooserForCurrentView() {
  const queue::ViewID view = queue::GetCurrentViewID();
  if (view == queue::kMyUploadsViewID) return ChooserKind::kUploads;
  if (view == queue::kReceivedFilesViewID) return ChooserKind::kReceivedFiles;
  if (view == queue::kMyServersViewID) return ChooserKind::kServers;
  if (queue::IsCurrentViewFTPHost()) return ChooserKind::kFTPHost;
  if (queue::IsCurrentViewWebDAVHost()) return ChooserKind::kWebDAVHost;
  if (queue::IsDisplayingRemoteHost()) return ChooserKind::kOtherHost;
  return ChooserKind::kOther;
}

}  // namespace

MenuRef ListContextMenuCallback(toolbox::ListView& list, bool header) {
  std::vector<MainListItem> selected;
  const MainListItem* container = nullptr;
  MainList* main = GetMainList();
  if (main && &main->list() == &list) {
    if (!header) selected = main->SelectedRows();
    if (selected.empty()) container = main->Row(list.Target());
  }
  ListMenuContext context;
  context.advancedMode = !IsSimpleMode();
  context.filtersViewShown = queue::IsViewDisplayed(queue::kFiltersViewID);
  context.queueOrderCount = queue::gQueueOrder.size();
  for (const auto& u : upload::UploadRowsServiceSlot::Get().CopyAllUploadItems())
    if (u->state() == upload::kUploadWaiting && u->waitingIndex() != UINT32_MAX) ++context.uploadsWaiting;
  // The known servers' credentials stay with the remote browser: the list offers the
  // file-hosting service and the send window.
  context.sendTo = upload::CreateSendToMenu({});
  context.openWithMenu = CreateOpenWithMenu;
  ShownSendTo() = context.sendTo;
  MenuRef menu = BuildListContextMenu(selected, container, context);
  if (!header) return menu;
  if (!menu) menu = Menu::Create(kListContextMenuID);
  if (menu->CountItems() > 0) menu->AppendSeparator();
  BuildColumnChooserMenu(list, *menu, ChooserForCurrentView());
  return menu->CountItems() == 0 ? nullptr : menu;
}

void ListContextMenuChosen(toolbox::ListView& list, const toolbox::MenuSelection& chosen) {
  if (!chosen.chosen() || !chosen.menu) return;
  if (chosen.menu->ItemProperty(chosen.item, values::FourCC("Truv"), kColumnItemProperty)) {
    ColumnChooserItemChosen(list, ChooserForCurrentView(), *chosen.menu, chosen.item);
    return;
  }
  if (const values::Value* entry =
          chosen.menu->ItemProperty(chosen.item, values::FourCC("Truv"), kSendToEntryProperty)) {
    const std::int64_t index = entry->AsNumber() ? entry->AsNumber()->AsInt64() : -1;
    if (index >= 0 && static_cast<std::size_t>(index) < ShownSendTo().size())
      upload::SendItemsToMenuHost(SelectedFilePaths(), ShownSendTo()[static_cast<std::size_t>(index)]);
    return;
  }
  if (const values::Value* file =
          chosen.menu->ItemProperty(chosen.item, values::FourCC("Truv"), kFileProperty)) {
    const values::Value* app = chosen.menu->ItemProperty(chosen.item, values::FourCC("Truv"), kURLProperty);
    if (app && app->AsString() && file->AsString()) OpenFileWith(*app->AsString(), *file->AsString());
    return;
  }
  if (chosen.command != 0) PostListCommand(chosen.command);
}

bool OpenFileWith(const std::string& applicationID, const std::string& path) {
  // The program is found again by its entry's name: the menu may have stayed open while
  // the desktop's programs changed.
  for (const auto& app : toolbox::CopyApplicationsForFile(path).applications)
    if (app.id == applicationID) return toolbox::OpenFileWithApplication(app, path);
  return false;
}

MenuRef CreateOpenWithMenu(const std::string& path) {
  MenuRef menu = Menu::Create(0, L("Open With"));
  const auto found = toolbox::CopyApplicationsForFile(path);
  for (std::size_t i = 0; i < found.applications.size(); ++i) {
    const auto& app = found.applications[i];
    const std::string name = app.name.empty() ? CopyURLDisplayName(app.id) : app.name;
    const int index = menu->AppendItem(MenuItem{.text = name});
    menu->SetItemProperty(index, values::FourCC("Truv"), kURLProperty, values::Value(app.id));
    menu->SetItemProperty(index, values::FourCC("Truv"), kFileProperty, values::Value(path));
    if (i == 0 && found.has_default) menu->AppendSeparator();
  }
  return menu;
}

std::string CopyURLDisplayName(const std::string& text) {
  auto url = values::Url::Create(text);
  if (!url) return {};
  if (auto last = url->LastPathComponent(); last && !last->empty() && *last != "/") return *last;
  const std::string path = url->Path();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(slash + 1);
}

}  // namespace ui
