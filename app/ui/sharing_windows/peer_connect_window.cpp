#include "app/ui/sharing_windows/peer_connect_window.h"

#include <map>
#include <memory>
#include <utility>

#include "app/browser/favourites/favourites.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/services/peer_connect_hooks.h"
#include "app/queue/folders/displayed_views.h"
#include "app/sharing/client/peer_host_record.h"
#include "app/sharing/client/sharing_client.h"
#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/ui/services/ui_services.h"
#include "app/ui/sharing_windows/peer_row_selection.h"
#include "app/ui/sharing_windows/sharing_window_rules.h"
#include "app/util/desktop/notification_bridges.h"
#include "platform/runtime/event_target.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/menus/menu.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;
using values::FourCC;

constexpr values::FourCharCode kParam1 = FourCC("Par1");
constexpr values::FourCharCode kParam2 = FourCC("Par2");
constexpr values::FourCharCode kParam3 = FourCC("Par3");

// A connection started from these windows, from its start to its last event.
struct PeerConnection {
  std::shared_ptr<toolbox::Window> progress;
  std::string address;
  std::string user;
  std::string password;
  std::optional<std::string> bonjourKey;
  std::optional<std::string> favouriteName;
  bool silent = false;
  std::uint32_t hostID = 0;
};

std::map<std::uint64_t, PeerConnection>& Connections() {
  static std::map<std::uint64_t, PeerConnection> connections;
  return connections;
}

std::string TextOf(const toolbox::Window& window, std::int32_t id) {
  const toolbox::Control* c = window.FindControl(kApplicationSignature, id);
  return c ? c->Text() : std::string();
}

std::optional<std::string> StringProperty(const toolbox::Window& window, values::FourCharCode tag) {
  const values::Value* v = window.Property(kApplicationSignature, tag);
  if (!v || !v->AsString()) return std::nullopt;
  return v->StringOr("");
}

std::uint64_t RetriedRequest(const toolbox::Window& window) {
  const values::Value* v = window.Property(kApplicationSignature, kConnectRetryProperty);
  return v && v->AsNumber() ? static_cast<std::uint64_t>(v->AsNumber()->AsInt64()) : 0;
}

// The name a person knows the peer by: its Bonjour name, else its address.
std::string PeerName(const PeerConnection& c) {
  if (c.bonjourKey) {
    if (auto peer = sharing::FindBonjourPeer(*c.bonjourKey)) return peer->serviceName;
  }
  return c.address;
}

void Alert(const std::string& text) {
  UiServicesSlot::Get().RunStandardAlert(AlertType::kNote, text, std::nullopt);
}

void ReleaseWindow(const std::shared_ptr<toolbox::Window>& window) {
  if (window && !window->IsReleased()) window->Release();
}

std::optional<PeerFavouriteFields> FavouriteFields(const std::string& name) {
  const browser::FavouriteRef f = browser::FavouriteFindByName(name);
  if (!f) return std::nullopt;
  return PeerFavouriteFields{f->name(), f->address(), f->user().value_or(""), f->password(), f->hostType()};
}

std::shared_ptr<toolbox::Window> CreateProgressWindow(std::uint64_t id, const std::string& address) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("Connecting to: ") + address;
  desc.content = {0, 0, 380, 110};
  auto window = toolbox::Window::Create(desc);
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, 2},
                      .bounds = {20, 14, 340, 20},
                      .text = values::Localized("Connecting to: ") + address,
                      .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, kProgressStatusTextID},
                      .bounds = {20, 40, 340, 20},
                      .text = *ConnectionStepText(1)});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 3},
                      .bounds = {270, 72, 90, 26},
                      .text = values::Localized("Cancel"),
                      .command = toolbox::kCommandCancel,
                      .is_cancel = true});
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [id](runtime::HandlerCall&, runtime::Event& event) {
                           if (toolbox::GetCommand(event).id != toolbox::kCommandCancel)
                             return runtime::kEventNotHandledErr;
                           sharing::CancelSharingClient(id);
                           return runtime::kNoErr;
                         });
  window->Center();
  return window;
}

std::uint64_t StartConnection(std::uint64_t id, PeerConnection& c) {
  sharing::SharingClientRequest request;
  request.address = c.address;
  request.user = c.user;
  request.password = c.password;
  request.bonjourKey = c.bonjourKey;
  request.favouriteName = c.favouriteName;
  request.silent = c.silent;
  request.requestID = id;
  if (!c.silent && !c.progress) c.progress = CreateProgressWindow(id, c.address);
  if (sharing::StartSharingClient(std::move(request)) != 0) {
    ReleaseWindow(c.progress);
    Connections().erase(id);
    return 0;
  }
  if (c.progress) {
    if (toolbox::Control* status = c.progress->FindControl(kApplicationSignature, kProgressStatusTextID))
      status->SetText(*ConnectionStepText(1));
    c.progress->Select();
  }
  return id;
}

// The favourites of the pop-up: copies found by Bonjour in the login form, every other one
// in the address form.
toolbox::MenuRef FavouritesMenu(bool bonjourForm) {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  menu->AppendItem(values::Localized("Favourites"));
  for (const auto& f : browser::CopySortedFavourites())
    if ((f->hostType() == browser::kHostBonjourPeer) == bonjourForm) menu->AppendItem(f->name());
  return menu;
}

// 'FavM': the chosen favourite fills the fields.
void ChooseFavourite(toolbox::Window& window) {
  window.RemoveProperty(kApplicationSignature, kConnectFavouriteProperty);
  toolbox::Control* popUp = window.FindControl(kApplicationSignature, kConnectFavouritesPopUpID);
  if (!popUp || popUp->Value() <= 1 || !popUp->PopUpMenu()) return;
  const toolbox::MenuItem* item = popUp->PopUpMenu()->Item(popUp->Value());
  if (!item) return;
  const std::string name = item->text;
  const browser::FavouriteRef f = browser::FavouriteFindByName(name);
  if (!f) return;
  if (toolbox::Control* c = window.FindControl(kApplicationSignature, kConnectAddressID))
    c->SetText(f->address());
  if (toolbox::Control* c = window.FindControl(kApplicationSignature, kConnectUserID))
    c->SetText(f->user().value_or(""));
  if (toolbox::Control* c = window.FindControl(kApplicationSignature, kConnectPasswordID))
    c->SetText(f->password());
  window.SetProperty(kApplicationSignature, kConnectFavouriteProperty, values::Value(name));
}

// 'ok  ' of the connect window.
void ConnectFromWindow(toolbox::Window& window) {
  const std::uint64_t retried = RetriedRequest(window);
  const std::optional<std::string> host = StringProperty(window, kConnectHostProperty);
  PeerConnectEntry entry;
  entry.address = host ? *host : PeerAddressFromTyped(TextOf(window, kConnectAddressID));
  entry.user = PeerUserFromTyped(TextOf(window, kConnectUserID));
  entry.password = TextOf(window, kConnectPasswordID);
  std::uint64_t id = retried;
  auto existing = Connections().find(retried);
  if (retried == 0 || existing == Connections().end()) {
    id = sharing::NextSharingRequestID();
    PeerConnection c;
    c.bonjourKey = StringProperty(window, kConnectNameProperty);
    existing = Connections().emplace(id, std::move(c)).first;
  }
  PeerConnection& c = existing->second;
  entry.bonjourKey = c.bonjourKey;
  c.address = entry.address;
  c.user = entry.user;
  c.password = entry.password;
  c.favouriteName.reset();
  if (auto chosen = StringProperty(window, kConnectFavouriteProperty)) {
    const toolbox::Control* popUp = window.FindControl(kApplicationSignature, kConnectFavouritesPopUpID);
    if (popUp && popUp->Value() > 1) c.favouriteName = RequestFavouriteName(FavouriteFields(*chosen), entry);
  }
  if (!c.favouriteName)
    c.favouriteName = browser::FindFavouriteNameForHost(
        c.bonjourKey.value_or(c.address), c.user, c.password,
        c.bonjourKey ? browser::kHostBonjourPeer : browser::kHostPeerByAddress);
  if (window.SheetParent()) window.HideSheet();
  window.Release();
  StartConnection(id, c);
}

// 'not!' of the connect window.
void CancelWindow(toolbox::Window& window) {
  const std::uint64_t retried = RetriedRequest(window);
  if (window.SheetParent()) window.HideSheet();
  if (retried != 0) {
    if (auto it = Connections().find(retried); it != Connections().end()) {
      ReleaseWindow(it->second.progress);
      Connections().erase(it);
    }
  }
  window.Release();
}

toolbox::Window* CreateConnectWindow(const std::optional<std::string>& host,
                                     const std::optional<std::string>& bonjourKey,
                                     std::uint64_t retriedRequest) {
  const bool bonjourForm = bonjourKey.has_value();
  toolbox::Window* parent = nullptr;
  std::string user, password;
  if (auto it = Connections().find(retriedRequest); retriedRequest != 0 && it != Connections().end()) {
    parent = it->second.progress.get();
    user = it->second.user;
  }
  toolbox::WindowSpec desc;
  desc.kind = parent ? toolbox::WindowKind::kSheet : toolbox::WindowKind::kDialog;
  desc.parent = parent;
  desc.title = values::Localized("Connect to a Copy of Truvane");
  desc.content = {0, 0, 480, 232};
  auto window = toolbox::Window::Create(desc);
  std::string heading = values::Localized("Connect to a copy of Truvane at this address:");
  if (host) {
    PeerConnection named;
    named.address = *host;
    named.bonjourKey = bonjourKey;
    heading = values::Format(values::Localized("Log in to %@:"), {PeerName(named)});
  }
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, 10},
                      .bounds = {20, 14, 440, 20},
                      .text = heading,
                      .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  toolbox::MenuRef favourites = FavouritesMenu(bonjourForm);
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, 11},
                      .bounds = {20, 45, 104, 20},
                      .text = values::Localized("Favourite:")});
  window->AddControl({.kind = ControlKind::kPopUpButton,
                      .id = {kApplicationSignature, kConnectFavouritesPopUpID},
                      .bounds = {130, 42, 330, 26},
                      .command = kChooseFavouriteCommand,
                      .value = 1,
                      .minimum = 1,
                      .maximum = favourites->CountItems(),
                      .menu = favourites});
  const struct {
    std::int32_t id;
    const char* label;
    double y;
    ControlKind kind;
  } fields[] = {{kConnectAddressID, "Address:", 80, ControlKind::kEditText},
                {kConnectUserID, "User:", 114, ControlKind::kEditText},
                {kConnectPasswordID, "Password:", 148, ControlKind::kPasswordText}};
  for (const auto& f : fields) {
    window->AddControl({.kind = ControlKind::kStaticText,
                        .id = {kApplicationSignature, 20 + f.id},
                        .bounds = {20, f.y + 3, 104, 20},
                        .text = values::Localized(f.label)});
    toolbox::Control* field = window->AddControl({.kind = f.kind,
                                                  .id = {kApplicationSignature, f.id},
                                                  .bounds = {130, f.y, 330, 24},
                                                  .text = f.id == kConnectUserID ? user : password});
    if (f.id == kConnectAddressID && host && field) {
      field->SetText(*host);
      field->SetEnabled(false);
    }
  }
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 5},
                      .bounds = {20, 190, 180, 26},
                      .text = values::Localized("Save as Favourite..."),
                      .command = kSaveFavouriteCommand});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 6},
                      .bounds = {274, 190, 90, 26},
                      .text = values::Localized("Cancel"),
                      .command = toolbox::kCommandCancel,
                      .is_cancel = true});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 7},
                      .bounds = {370, 190, 90, 26},
                      .text = values::Localized("Connect"),
                      .command = toolbox::kCommandOK,
                      .is_default = true});
  if (host) window->SetProperty(kApplicationSignature, kConnectHostProperty, values::Value(*host));
  if (retriedRequest != 0) {
    window->SetProperty(kApplicationSignature, kConnectRetryProperty,
                        values::Value(values::Number::Int64(static_cast<std::int64_t>(retriedRequest))));
  } else if (bonjourKey) {
    window->SetProperty(kApplicationSignature, kConnectNameProperty, values::Value(*bonjourKey));
  }
  toolbox::Window* raw = window.get();
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [raw](runtime::HandlerCall&, runtime::Event& event) {
                           const values::FourCharCode command = toolbox::GetCommand(event).id;
                           if (command == kChooseFavouriteCommand) {
                             ChooseFavourite(*raw);
                           } else if (command == kSaveFavouriteCommand) {
                             ShowAddFavouriteSheet(*raw);
                           } else if (command == toolbox::kCommandOK) {
                             ConnectFromWindow(*raw);
                           } else if (command == toolbox::kCommandCancel) {
                             CancelWindow(*raw);
                           } else {
                             return runtime::kEventNotHandledErr;
                           }
                           return runtime::kNoErr;
                         });
  if (parent) {
    window->ShowSheet();
  } else {
    window->Center();
    window->Select();
  }
  if (toolbox::Control* focus =
          window->FindControl(kApplicationSignature, host ? kConnectUserID : kConnectAddressID))
    focus->SetFocus();
  return raw;
}

// 'ok  ' of the add-favourite sheet; false when it stays open.
bool SaveFavourite(toolbox::Window& sheet, toolbox::Window& parent) {
  const std::string name = TextOf(sheet, kAddFavouriteNameID);
  if (name.empty()) {
    Alert(values::Localized("You cannot save a favourite with an empty name."));
    return false;
  }
  if (browser::FavouriteFindByName(name)) {
    Alert(values::Localized("There is already a favourite with that name."));
    return false;
  }
  std::optional<std::string> key = StringProperty(parent, kConnectNameProperty);
  if (auto it = Connections().find(RetriedRequest(parent));
      it != Connections().end() && it->second.bonjourKey)
    key = it->second.bonjourKey;
  const std::int32_t type = key ? browser::kHostBonjourPeer : browser::kHostPeerByAddress;
  const std::string address = key ? *key : TextOf(parent, kConnectAddressID);
  browser::AddFavourite(name, address, TextOf(parent, kConnectUserID), TextOf(parent, kConnectPasswordID),
                        type, "");
  browser::SaveFavourites();
  if (toolbox::Control* popUp = parent.FindControl(kApplicationSignature, kConnectFavouritesPopUpID)) {
    if (toolbox::MenuRef menu = popUp->PopUpMenu()) {
      const int item = menu->AppendItem(name);
      popUp->SetMaximum(menu->CountItems());
      popUp->SetValue(item);
    }
  }
  parent.SetProperty(kApplicationSignature, kConnectFavouriteProperty, values::Value(name));
  return true;
}

// Rows of the peers found by Bonjour follow the Bonjour peer table.
void BonjourPeersChanged() {
  for (const auto& peer : sharing::CopyBonjourPeers())
    if (browser::FindBonjourHostIndex(peer.serviceName) < 0) browser::AddBonjourPeerHost(peer.serviceName);
  std::vector<std::string> gone;
  for (std::size_t i = 0; i < browser::GetHostCount(); ++i) {
    const browser::HostRef h = browser::GetHostAtIndex(i);
    if (h && h->type == browser::kHostBonjourPeer && !sharing::FindBonjourPeer(h->rendezvousName))
      gone.push_back(h->rendezvousName);
  }
  for (const auto& name : gone) browser::RemoveBonjourPeerHost(name);
  browser::UpdateHostRows();
  util::PostConnectedHostListChanged();
}

// The session ended with the peer in the table: its rows.
void PeerListed(PeerConnection& c, std::uint32_t hostID) {
  c.hostID = hostID;
  const sharing::PeerHostRef record = sharing::FindPeerHost(hostID);
  if (!record) return;
  if (c.favouriteName && browser::FavouriteFindByName(*c.favouriteName))
    browser::FavouriteMarkConnected(*c.favouriteName, hostID);
  std::optional<std::uint32_t> row;
  if (c.bonjourKey) {
    sharing::LinkBonjourPeerConnection(*c.bonjourKey, hostID);
    if (auto peer = sharing::FindBonjourPeer(*c.bonjourKey)) {
      if (browser::FindBonjourHostIndex(peer->serviceName) < 0)
        browser::AddBonjourPeerHost(peer->serviceName);
      row = browser::kFirstHostViewID +
            static_cast<std::uint32_t>(browser::FindBonjourHostIndex(peer->serviceName));
    }
  } else {
    row = browser::kFirstHostViewID + static_cast<std::uint32_t>(browser::AddPeerHost(hostID, std::nullopt));
  }
  browser::UpdateHostRows();
  if (row && queue::IsViewDisplayed(*row)) queue::RefillMainList();
  if (row && !queue::IsViewDisplayed(*row) && !c.silent) {
    SelectSourceListRow(*row);
  }
  util::PostConnectedHostListChanged();
}

// The connection's record and rows go (a cancel, a failure).
void ForgetPeer(const PeerConnection& c, std::uint32_t hostID) {
  if (hostID == 0) return;
  const bool removed = sharing::RemovePeerHost(hostID);
  sharing::ForgetBonjourPeerConnection(hostID);
  if (!c.bonjourKey) browser::RemovePeerHost(hostID);
  browser::UpdateHostRows();
  if (removed) util::PostConnectedHostListChanged();
}

void ConnectionEnded(std::uint64_t id, std::int64_t result, std::uint32_t hostID) {
  auto it = Connections().find(id);
  if (it == Connections().end()) return;
  PeerConnection& c = it->second;
  if (hostID != 0) c.hostID = hostID;
  const ConnectionOutcome o = ConnectionOutcomeForResult(result, c.silent, PeerName(c));
  if (o.reopenLogin) {
    CreateConnectWindow(c.address, c.bonjourKey, id);
    return;
  }
  if (o.success) {
    browser::UpdateHostRows();
  } else {
    if (o.alert) Alert(*o.alert);
    if (o.removeRecord) ForgetPeer(c, c.hostID);
    if (o.markFavouriteDisconnected && c.favouriteName) browser::FavouriteMarkDisconnected(*c.favouriteName);
  }
  ReleaseWindow(c.progress);
  Connections().erase(it);
}

}  // namespace

toolbox::Window* ShowConnectToHostWindow() {
  return CreateConnectWindow(std::nullopt, std::nullopt, 0);
}

toolbox::Window* ShowPeerLoginWindow(const std::optional<std::string>& host,
                                     const std::optional<std::string>& bonjourKey,
                                     std::uint64_t retriedRequest) {
  return CreateConnectWindow(host, bonjourKey, retriedRequest);
}

toolbox::Window* ShowAddFavouriteSheet(toolbox::Window& parent) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kSheet;
  desc.parent = &parent;
  desc.title = values::Localized("Save as Favourite");
  desc.content = {0, 0, 360, 120};
  auto sheet = toolbox::Window::Create(desc);
  sheet->AddControl({.kind = ControlKind::kStaticText,
                     .id = {kApplicationSignature, 2},
                     .bounds = {20, 16, 320, 20},
                     .text = values::Localized("Name of the favourite:")});
  sheet->AddControl({.kind = ControlKind::kEditText,
                     .id = {kApplicationSignature, kAddFavouriteNameID},
                     .bounds = {20, 42, 320, 24}});
  sheet->AddControl({.kind = ControlKind::kPushButton,
                     .id = {kApplicationSignature, 3},
                     .bounds = {154, 80, 90, 26},
                     .text = values::Localized("Cancel"),
                     .command = toolbox::kCommandCancel,
                     .is_cancel = true});
  sheet->AddControl({.kind = ControlKind::kPushButton,
                     .id = {kApplicationSignature, 4},
                     .bounds = {250, 80, 90, 26},
                     .text = values::Localized("Save"),
                     .command = toolbox::kCommandOK,
                     .is_default = true});
  toolbox::Window* raw = sheet.get();
  toolbox::Window* owner = &parent;
  sheet->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                        [raw, owner](runtime::HandlerCall&, runtime::Event& event) {
                          const values::FourCharCode command = toolbox::GetCommand(event).id;
                          if (command == toolbox::kCommandOK) {
                            if (!SaveFavourite(*raw, *owner)) return runtime::kNoErr;
                          } else if (command != toolbox::kCommandCancel) {
                            return runtime::kEventNotHandledErr;
                          }
                          raw->HideSheet();
                          raw->Release();
                          return runtime::kNoErr;
                        });
  sheet->ShowSheet();
  if (toolbox::Control* name = sheet->FindControl(kApplicationSignature, kAddFavouriteNameID))
    name->SetFocus();
  return raw;
}

std::uint64_t ConnectToSharingPeer(const std::string& address, const std::string& user,
                                   const std::string& password, std::optional<std::string> favouriteName,
                                   std::optional<std::string> bonjourKey, bool silent) {
  PeerConnection c;
  c.address = address;
  c.user = PeerUserFromTyped(user);
  c.password = password;
  c.bonjourKey = std::move(bonjourKey);
  c.silent = silent;
  c.favouriteName = favouriteName
                        ? std::move(favouriteName)
                        : browser::FindFavouriteNameForHost(
                              c.bonjourKey.value_or(address), c.user, c.password,
                              c.bonjourKey ? browser::kHostBonjourPeer : browser::kHostPeerByAddress);
  const std::uint64_t id = sharing::NextSharingRequestID();
  return StartConnection(id, Connections().emplace(id, std::move(c)).first->second);
}

bool ConnectToBonjourPeer(const std::string& keyOrName, const std::string& user, const std::string& password,
                          std::optional<std::string> favouriteName, bool silent) {
  const auto peer = sharing::FindBonjourPeer(keyOrName);
  if (!peer) return false;
  return sharing::ResolveSharingPeer(
      peer->key, [key = peer->key, user, password, favouriteName, silent](const std::string& address) {
        ConnectToSharingPeer(address, user, password, favouriteName, key, silent);
      });
}

toolbox::Window* ConnectionProgressWindow(std::uint64_t requestID) {
  auto it = Connections().find(requestID);
  if (it == Connections().end() || !it->second.progress || it->second.progress->IsReleased()) return nullptr;
  return it->second.progress.get();
}

bool IsConnectionRunning(std::uint64_t requestID) {
  return Connections().contains(requestID);
}

runtime::Status HandleSharingClientEvent(runtime::Event& event) {
  switch (event.kind()) {
    case sharing::kBonjourPeerAppeared:
    case sharing::kBonjourPeerGone:
      BonjourPeersChanged();
      return runtime::kNoErr;
    case sharing::kSharingClientEventProgress:
      break;
    default:
      return runtime::kEventNotHandledErr;
  }
  const auto id =
      static_cast<std::uint64_t>(event.Get<std::int64_t>(sharing::kSharingClientRequestParam).value_or(0));
  const auto hostID = static_cast<std::uint32_t>(event.Get<std::int64_t>(kParam1).value_or(0));
  const std::int64_t step = event.Get<std::int64_t>(kParam2).value_or(0);
  const std::int64_t result = event.Get<std::int64_t>(kParam3).value_or(0);
  auto it = Connections().find(id);
  if (step != 0) {
    if (toolbox::Window* progress = ConnectionProgressWindow(id)) {
      if (auto text = ConnectionStepText(step))
        if (toolbox::Control* status = progress->FindControl(kApplicationSignature, kProgressStatusTextID))
          status->SetText(*text);
    }
    if (it != Connections().end() && hostID != 0) it->second.hostID = hostID;
    return runtime::kNoErr;
  }
  if (result == 0) {
    if (it != Connections().end()) PeerListed(it->second, hostID);
    return runtime::kNoErr;
  }
  ConnectionEnded(id, result, hostID);
  return runtime::kNoErr;
}

void InstallSharingWindows() {
  runtime::EventTarget::Application()->InstallHandler(
      {{sharing::kSharingClientEventClass, sharing::kBonjourPeerAppeared},
       {sharing::kSharingClientEventClass, sharing::kBonjourPeerGone},
       {sharing::kSharingClientEventClass, sharing::kSharingClientEventProgress}},
      [](runtime::HandlerCall&, runtime::Event& event) { return HandleSharingClientEvent(event); });
  browser::PeerConnectHooksSlot::Get().connectBonjourPeer =
      [](const std::string& name, const std::string& user, const std::string& password,
         const std::optional<std::string>& favourite,
         bool silent) { return ConnectToBonjourPeer(name, user, password, favourite, silent); };
}

}  // namespace ui
