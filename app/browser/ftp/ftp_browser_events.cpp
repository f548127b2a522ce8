// What each message of a root's command client does to the tree, the host row and the
// list: the listing's data and end, successes by request type, repairs of a lost
// connection, and the alerts of failures.

#include <cstdio>

#include "app/browser/ftp/ftp_node.h"
#include "app/browser/ftp/ftp_urls.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/services/connect_dialog_hooks.h"
#include "app/engine/ftp/ftp_request_queue.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/ui/services/ui_services.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/clock.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace browser {

using engine::FTPConnectionParam;
using engine::FTPMessage;
using engine::FTPRequest;
using engine::FTPRequestType;

class FTPBrowserEvents {
 public:
  static FTPRequest* CurrentRequest(FTPConnectionParam& c) {
    return c.request_queue.empty() ? nullptr : &c.request_queue.front();
  }
  static std::shared_ptr<FTPLister> ListerOf(const FTPRequest* r) {
    if (!r || r->type != FTPRequestType::kListFolder) return nullptr;
    return std::static_pointer_cast<FTPLister>(r->client);
  }
  static FTPNodeRef Node(const std::shared_ptr<void>& p) { return std::static_pointer_cast<FTPNode>(p); }
  static std::shared_ptr<FTPItem> Item(const std::shared_ptr<void>& p) {
    return std::static_pointer_cast<FTPItem>(p);
  }
  static std::string LastComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  static std::string WithoutLastComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  }

  static void Alert(const std::string& message, const std::optional<std::string>& explanation) {
    ui::UiServicesSlot::Get().RunStandardAlert(ui::AlertType::kCaution, message, explanation);
  }
  static std::string ServerMessage(const std::optional<std::string>& text) {
    std::string reply = text.value_or("");
    while (!reply.empty() && (reply.back() == '\r' || reply.back() == '\n')) reply.pop_back();
    return values::Format(values::Localized("The message from the server was: %@"), {reply});
  }

  static void RemoveItemFromParent(const FTPNodeRef& parent, const FTPItem& item) {
    if (parent->wasOpen_) {
      if (item.node) {
        ui::MainListBrowserSlot::Get().RemoveRows({item.node->Item()});
      } else if (item.file->record) {
        ui::MainListBrowserSlot::Get().RemoveRows(
            {ui::MainListItem{ui::RowKind::kDownload, item.file->record}});
      }
    }
    if (parent->items_) std::erase(*parent->items_, item);
  }

  static void QueueRemoveSelf(const FTPNodeRef& folder) {
    FTPNodeRef grand = folder->parent();
    FTPConnectionParam* c = folder->openConnection();
    if (!grand || !c) return;
    engine::FTPConnectionQueueRemoveFolder(*c, folder->path_, folder->isLink_, grand,
                                           std::make_shared<FTPItem>(FTPItem{folder, {}}));
  }

  static void Succeeded(FTPConnectionParam& c, const FTPNodeRef& root) {
    FTPRequest* r = CurrentRequest(c);
    if (!r) return;
    // A listing's transfer has only begun here; it counts as done at its 226.
    if (r->type != FTPRequestType::kListFolder) root->repairs_ = 0;
    switch (r->type) {
      case FTPRequestType::kRemoveFolder:
      case FTPRequestType::kDeleteFile: {
        FTPNodeRef parent = Node(r->parent);
        auto item = Item(r->item);
        if (!parent || !item) return;
        RemoveItemFromParent(parent, *item);
        if (parent->deletingSelf_ && parent->items_ && parent->items_->empty()) QueueRemoveSelf(parent);
        return;
      }
      case FTPRequestType::kCreateFolder: {
        FTPNodeRef parent = Node(r->parent);
        if (!parent) return;
        FTPNodeRef child = parent->MakeChild(r->name);
        child->modificationDate_ = values::Now();
        if (!parent->items_) parent->items_.emplace();
        parent->items_->push_back(FTPItem{child, {}});
        if (parent->wasOpen_) {
          const ui::MainListItem container = parent->Item();
          ui::MainListBrowserSlot::Get().AddRows({child->Item()}, &container);
        } else {
          parent->open();
        }
        return;
      }
      case FTPRequestType::kChangePermissions: {
        auto item = Item(r->client);
        if (!item) return;
        if (item->node) item->node->mode_ = static_cast<std::uint32_t>(r->mode);
        if (item->file) item->file->mode = static_cast<std::uint32_t>(r->mode);
        return;
      }
      case FTPRequestType::kMoveItem:
        Moved(*r);
        return;
      default:
        return;
    }
  }

  static void Moved(const FTPRequest& r) {
    auto item = Item(r.client);
    FTPNodeRef oldParent = Node(r.old_parent);
    FTPNodeRef newParent = Node(r.new_parent);
    if (!item || !oldParent || !newParent) return;
    const std::string newName = LastComponent(r.new_path);
    auto& list = ui::MainListBrowserSlot::Get();
    if (oldParent == newParent) {
      // A rename in place: only the name (and with it the URL) changes.
      if (item->node) {
        item->node->name_ = newName;
        item->node->path_ = oldParent->path_.empty() ? newName : oldParent->path_ + "/" + newName;
        item->node->updatePaths();
      } else {
        item->file->name = newName;
        if (auto folder = oldParent->buildURL())
          if (auto url = FTPFileURL(*folder, newName)) item->file->url = *url;
        queue::RemoteFilesServiceSlot::Get().SetRemoteFileName(item->file->record, item->file->name,
                                                               item->file->url);
      }
      list.UpdateColumn(kNameProperty);
      return;
    }
    RemoveItemFromParent(oldParent, *item);
    if (newParent->items_) newParent->items_->push_back(*item);
    if (item->node) {
      item->node->parent_ = newParent;
      item->node->path_ =
          newParent->path_.empty() ? item->node->name_ : newParent->path_ + "/" + item->node->name_;
      item->node->updatePaths();
    } else {
      auto& folders = item->file->folders;
      std::erase_if(folders, [&](const std::weak_ptr<FTPNode>& f) { return f.lock() == oldParent; });
      folders.push_back(newParent);
      if (auto folder = newParent->buildURL())
        if (auto url = FTPFileURL(*folder, item->file->name)) item->file->url = *url;
      queue::RemoteFilesServiceSlot::Get().SetRemoteFileName(item->file->record, item->file->name,
                                                             item->file->url);
    }
    if (newParent->wasOpen_ && newParent->items_) {
      const ui::MainListItem container = newParent->Item();
      if (item->node) {
        list.AddRows({item->node->Item()}, &container);
      } else if (item->file->record) {
        list.AddRows({ui::MainListItem{ui::RowKind::kDownload, item->file->record}}, &container);
      }
    }
  }

  // The listing's end as the server confirms it: the lister delivers, the request ends.
  static void ListingComplete(FTPConnectionParam& c, const FTPNodeRef& root) {
    FTPRequest* r = CurrentRequest(c);
    auto lister = ListerOf(r);
    if (!lister) return;
    root->repairs_ = 0;
    lister->finish();
    engine::FTPConnectionFinishRequest(c);
  }

  // Moves the queue of a connection that failed onto a new one, which runs it after its
  // login. False when the repairs are used up: the caller then fails the requests.
  static bool Replay(std::deque<FTPRequest> kept, const FTPNodeRef& root) {
    if (++root->repairs_ > kMaxFTPRepairs) {
      for (auto& r : kept)
        if (auto lister = ListerOf(&r)) lister->abort();
      return false;
    }
    for (auto& r : kept)
      if (auto lister = ListerOf(&r)) lister->ClearItems();
    if (root->user_.empty() || root->pass_.empty()) {
      if (root->user_.empty()) root->user_ = "anonymous";
      if (root->pass_.empty() && root->user_ == "anonymous")
        root->pass_ = util::ReadSetting(util::kAnonymousFTPPasswordKey);
    }
    root->refreshConnection();
    if (!root->connection_) return false;
    for (auto& r : kept) root->connection_->request_queue.push_back(std::move(r));
    return true;
  }

  // The connect dialog as the failed connection had it: its location, login and favourite.
  static ConnectDialogRequest ConnectDialogAgain(const std::string& url, const FTPNode& root) {
    ConnectDialogRequest r;
    // The connection's URL says "ftp" for both; the dialog's protocol follows the root.
    r.preFill = root.secure() && url.starts_with("ftp://") ? "ftps://" + url.substr(6) : url;
    r.user = root.user_;
    r.password = root.pass_;
    r.favouriteName = root.favourite_;
    return r;
  }

  static bool IsLostConnection(const FTPConnectionParam& c) {
    const net::StreamError& e = c.error;
    if (e.domain == net::ErrorDomain::kSsl)
      return e.code == net::tls_code::kProtocol || e.code == net::tls_code::kClosedAbort;
    if (e.domain == net::ErrorDomain::kPosix)
      return e.code == net::posix_code::kConnectionReset ||
             (e.code == net::posix_code::kBrokenPipe && c.logged_in);
    return false;
  }

  static void Failed(FTPConnectionParam& c, const std::optional<std::string>& text, const FTPNodeRef& root,
                     bool& stop) {
    const std::uint32_t id = root->ftpHostID_;
    if (IsLostConnection(c)) {
      stop = true;
      std::deque<FTPRequest> kept;
      if (c.state != engine::kFTPStateIdle || c.has_current_request) kept = std::move(c.request_queue);
      c.request_queue.clear();
      auto old = std::move(root->connection_);
      SetFTPHostRowDisabled(id, true);
      SetFTPHostRowBusy(id, false);
      root->busy_ = false;
      // Retired after the kept requests moved: closing drops what is left in its queue.
      if (!kept.empty()) Replay(std::move(kept), root);
      if (old) {
        engine::FTPConnectionClose(*old);
        std::shared_ptr<FTPConnectionParam> keep(std::move(old));
        runtime::RunLoop::Current()->Perform([keep] {});
      }
      return;
    }

    FTPRequest* r = c.has_current_request ? CurrentRequest(c) : nullptr;
    if (!r) {
      const net::StreamError e = c.error;
      if (e.domain == net::ErrorDomain::kSsl &&
          (e.code == net::tls_code::kUnknownRoot || e.code == net::tls_code::kUnknownIssuer ||
           e.code == net::tls_code::kExpired || e.code == net::tls_code::kHostNameMismatch)) {
        c.state = engine::kFTPStateIdle;
        if (auto lister = ListerOf(CurrentRequest(c))) lister->abort();
        stop = true;
        AskFTPBrowserCertificateTrust(root, c.io ? c.io->ControlPeerCertificates() : net::CertificateChain{},
                                      e.code);
        return;
      }
      if (c.state >= engine::kFTPStateWelcome && c.state <= engine::kFTPStatePass) {
        const std::string url = c.url.String();
        std::optional<std::string> info;
        bool reopen = true;
        if (e.domain == net::ErrorDomain::kFtp) {
          reopen = e.code == 421 ||
                   (c.state >= engine::kFTPStateAuthTls && c.state <= engine::kFTPStateProt) || e.code == 530;
          if (e.code == 421) {
            info = values::Localized("The server currently has too many connected users. ") +
                   ServerMessage(text);
          } else if (c.state >= engine::kFTPStateAuthTls && c.state <= engine::kFTPStateProt) {
            info = values::Localized("The server does not appear to support ftp-ssl. ") + ServerMessage(text);
          } else if (e.code == 530) {
            info = values::Localized("The server did not accept the supplied login information. ") +
                   ServerMessage(text);
          }
        } else if (e.domain == net::ErrorDomain::kNetDb) {
          info = values::Localized("The server could not be found.");
        } else if (e.domain == net::ErrorDomain::kSsl) {
          info = values::Format(values::Localized("A secure connection could not be established. Error %d."),
                                {e.code});
        } else if (e.domain == net::ErrorDomain::kPosix) {
          info = values::Localized("Truvane could not establish a connection with the server.");
        } else {
          reopen = false;
        }
        stop = true;
        const ConnectDialogRequest again = ConnectDialogAgain(url, *root);
        FTPNodeDisconnect(root);
        Alert(values::Format(values::Localized("The connection to the FTP server %@ has failed."), {url}),
              info);
        if (reopen) runtime::CallHook(ConnectDialogHooksSlot::Get().openConnectDialog, again);
        return;
      }
      c.state = engine::kFTPStateIdle;
      if (auto lister = ListerOf(CurrentRequest(c))) lister->abort();
      return;
    }

    const std::string server = ServerMessage(text);
    switch (r->type) {
      case FTPRequestType::kListFolder: {
        auto lister = ListerOf(r);
        const bool rootFolder =
            lister && r->path == (root->path_.starts_with('/') ? root->path_.substr(1) : root->path_);
        Alert(values::Format(values::Localized("The contents of %@ could not be listed."),
                             {LastComponent(r->path)}),
              server);
        if (lister) lister->abort();
        if (rootFolder) {
          stop = true;
          const ConnectDialogRequest again = ConnectDialogAgain(c.url.String(), *root);
          FTPNodeDisconnect(root);
          runtime::CallHook(ConnectDialogHooksSlot::Get().openConnectDialog, again);
          return;
        }
        c.state = engine::kFTPStateIdle;
        engine::FTPConnectionFinishRequest(c);
        return;
      }
      case FTPRequestType::kRemoveFolder:
        Alert(values::Format(values::Localized("The folder %@ could not be deleted."),
                             {LastComponent(r->path)}),
              server);
        return;
      case FTPRequestType::kDeleteFile:
        Alert(
            values::Format(values::Localized("The file %@ could not be deleted."), {LastComponent(r->path)}),
            server);
        return;
      case FTPRequestType::kCreateFolder:
        Alert(values::Format(values::Localized("The folder %@ could not be created on %@."),
                             {r->name, root->host_}),
              server);
        return;
      case FTPRequestType::kChangePermissions:
        Alert(values::Format(values::Localized("The permissions for %@ could not be set."),
                             {LastComponent(r->path)}),
              server);
        return;
      case FTPRequestType::kMoveItem:
        if (r->old_parent == r->new_parent) {
          Alert(values::Format(values::Localized("The item %@ could not be renamed to %@."),
                               {r->old_path, r->new_path}),
                server);
        } else {
          Alert(values::Format(values::Localized("The item %@ could not be moved to %@."),
                               {LastComponent(r->old_path), WithoutLastComponent(r->new_path)}),
                server);
        }
        return;
      case FTPRequestType::kUploadFiles:
        return;
    }
  }

  static void TransferFailed(FTPConnectionParam& c, const FTPNodeRef& root, bool& stop) {
    stop = true;
    std::deque<FTPRequest> kept = std::move(c.request_queue);
    c.request_queue.clear();
    auto old = std::move(root->connection_);
    if (!Replay(std::move(kept), root)) {
      // Given up: the failed listing delivered what it had; the rest stays undone.
      SetFTPHostRowBusy(root->ftpHostID_, false);
      root->busy_ = false;
    }
    if (old) {
      engine::FTPConnectionClose(*old);
      std::shared_ptr<FTPConnectionParam> keep(std::move(old));
      runtime::RunLoop::Current()->Perform([keep] {});
    }
  }

  static void LoggedIn(FTPConnectionParam& c, const FTPNodeRef& root) {
    SetFTPHostRowDisabled(root->ftpHostID_, false);
    if (!root->connected_) {
      root->connected_ = true;
      // What an attempt before the first login delivered (nothing) is no listing.
      if (!root->lister_) root->items_.reset();
      if (root->path_.empty()) {
        std::string folder = c.current_directory;
        while (folder.size() > 1 && folder.ends_with('/')) folder.pop_back();
        if (folder.starts_with('/')) folder.erase(0, 1);
        root->path_ = folder;
      }
    }
    root->open();
    UpdateHostRows();
  }
};

void FTPBrowserClientCallback(FTPConnectionParam& c, FTPMessage message,
                              const std::optional<std::string>& text, const FTPNodeRef& root, bool& stop) {
  switch (message) {
    case FTPMessage::kFailed:
      FTPBrowserEvents::Failed(c, text, root, stop);
      return;
    case FTPMessage::kTransferAnswered:
      FTPBrowserEvents::Succeeded(c, root);
      return;
    case FTPMessage::kTransferComplete:
      FTPBrowserEvents::ListingComplete(c, root);
      return;
    case FTPMessage::kTransferFailed:
      FTPBrowserEvents::TransferFailed(c, root, stop);
      return;
    case FTPMessage::kIdle:
      FTPBrowserEvents::LoggedIn(c, root);
      return;
    case FTPMessage::kQueueEmpty:
      root->SetBusy(false);
      return;
    case FTPMessage::kRequestStarting:
      root->SetBusy(true);
      return;
    case FTPMessage::kCommandSent:
      if (text) root->appendLog("\r" + *text);
      return;
    case FTPMessage::kReplyReceived:
      if (text) root->appendLog(*text);
      return;
    default:
      return;
  }
}

void AskFTPBrowserCertificateTrust(const FTPNodeRef& node, const net::CertificateChain& certificates,
                                   int error) {
  FTPNodeRef root = node ? node->rootNode() : nullptr;
  if (!root) return;
  const std::string url = "ftp://" + root->host();
  bool changed = false;
  if (auto parsed = values::Url::Create(url)) {
    if (auto accepted = engine::CopyAcceptedCertificateData(*parsed))
      changed = certificates.empty() || certificates.front().Der() != *accepted;
  }
  if (engine::AskUserToTrustCertificate(certificates, url, error, changed) == 1) {
    // The refused connection is retired on a later pass: its client may still be on the
    // stack. Before the first login the login lists the root; after it, a listing now.
    root->refreshConnection();
    if (root->connected()) root->refresh();
  } else {
    FTPNodeDisconnect(root);
  }
}

}  // namespace browser
