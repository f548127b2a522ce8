#include "app/ui/connect_dialog/connect_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "app/browser/favourites/favourite_editing.h"
#include "app/browser/favourites/favourites.h"
#include "app/browser/ftp/ftp_node.h"
#include "app/browser/hosts/host_list.h"
#include "app/browser/services/remote_rows.h"
#include "app/browser/webdav/dotmac_connection.h"
#include "app/browser/webdav/dotmac_node.h"
#include "app/sharing/client/sharing_client.h"
#include "app/ui/services/application_windows_service.h"
#include "app/ui/services/folder_dialog_service.h"
#include "app/ui/services/ui_services.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/format.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using browser::ConnectFavourite;
using browser::ConnectForm;
using toolbox::ControlKind;
using toolbox::kApplicationSignature;

std::string L(const char* text) {
  return values::Localized(text);
}

// Every open dialog's controller, by each of its windows: the controller goes when its
// windows close.
std::map<const toolbox::Window*, std::shared_ptr<ConnectionController>>& Controllers() {
  static std::map<const toolbox::Window*, std::shared_ptr<ConnectionController>> controllers;
  return controllers;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home ? home : "";
}

toolbox::Control* Find(toolbox::Window* window, std::int32_t id) {
  return window ? window->FindControl(kApplicationSignature, id) : nullptr;
}

std::string TextOf(toolbox::Window* window, std::int32_t id) {
  const toolbox::Control* c = Find(window, id);
  return c ? c->Text() : std::string();
}

void SetText(toolbox::Window* window, std::int32_t id, const std::string& text) {
  if (toolbox::Control* c = Find(window, id)) c->SetText(text);
}

void Enable(toolbox::Window* window, std::int32_t id, bool enabled) {
  if (toolbox::Control* c = Find(window, id)) c->SetEnabled(enabled);
}

void AddLabel(toolbox::Window& w, std::int32_t id, double top, const std::string& text) {
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = {kApplicationSignature, id},
                .bounds = {16, top + 3, 110, 20},
                .text = text});
}

void AddField(toolbox::Window& w, ControlKind kind, std::int32_t id, double top, double width = 330) {
  w.AddControl({.kind = kind, .id = {kApplicationSignature, id}, .bounds = {132, top, width, 24}});
}

toolbox::MenuRef ProtocolMenu() {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  for (const char* name : {"Truvane", "FTP", "FTP-SSL", "iDisk", "Public iDisk", "WebDAV", "WebDAV over SSL"})
    menu->AppendItem(L(name));
  return menu;
}

toolbox::MenuRef FavouritesMenu() {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  menu->AppendItem(L("None"));
  return menu;
}

}  // namespace

ConnectionController::~ConnectionController() = default;

toolbox::Window& ConnectionController::FormWindow() const {
  return bonjourForm() && alternateWindow_ ? *alternateWindow_ : *window_;
}

toolbox::Control* ConnectionController::FormControl(std::int32_t id) const {
  return Find(&FormWindow(), id);
}

toolbox::Control* ConnectionController::FormFavouriteMenu() const {
  return FormControl(bonjourForm() ? kConnectAlternateFavouriteMenu : kConnectFavouriteMenu);
}

toolbox::Control* ConnectionController::FormSaveButton() const {
  return FormControl(bonjourForm() ? kConnectAlternateAddToFavouritesButton : kConnectAddToFavouritesButton);
}

ConnectForm ConnectionController::Form() const {
  ConnectForm form;
  toolbox::Window* w = window_.get();
  const toolbox::Control* protocol = Find(w, kConnectProtocolPopup);
  form.tag = protocol ? protocol->Value() : 1;
  form.host = TextOf(w, kConnectHostBox);
  form.path = TextOf(w, kConnectPathBox);
  form.user = TextOf(w, kConnectUserBox);
  form.password = TextOf(w, kConnectPasswordField);
  form.localPath = TextOf(w, kConnectLocalPathBox);
  return form;
}

void ConnectionController::MakeMainWindow() {
  window_ = toolbox::Window::Create(
      {.kind = toolbox::WindowKind::kDialog, .title = L("Connect to Server"), .content = {0, 0, 480, 306}});
  toolbox::Window& w = *window_;
  AddLabel(w, 40, 16, L("My Servers:"));
  toolbox::MenuRef favourites = FavouritesMenu();
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = {kApplicationSignature, kConnectFavouriteMenu},
                .bounds = {132, 14, 330, 26},
                .value = 1,
                .minimum = 1,
                .maximum = favourites->CountItems(),
                .menu = favourites});
  AddLabel(w, 41, 50, L("Protocol:"));
  toolbox::MenuRef protocols = ProtocolMenu();
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = {kApplicationSignature, kConnectProtocolPopup},
                .bounds = {132, 48, 330, 26},
                .value = 1,
                .minimum = 1,
                .maximum = protocols->CountItems(),
                .menu = protocols});
  AddLabel(w, kConnectServerLabel, 86, L("Server:"));
  AddField(w, ControlKind::kEditText, kConnectHostBox, 86);
  AddLabel(w, kConnectUserLabel, 118, L("User Name:"));
  AddField(w, ControlKind::kEditText, kConnectUserBox, 118);
  AddLabel(w, 42, 150, L("Password:"));
  AddField(w, ControlKind::kPasswordText, kConnectPasswordField, 150);
  AddLabel(w, kConnectPathLabel, 182, L("Path:"));
  AddField(w, ControlKind::kEditText, kConnectPathBox, 182);
  AddLabel(w, 43, 214, L("Local Folder:"));
  AddField(w, ControlKind::kEditText, kConnectLocalPathBox, 214, 232);
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectChooseLocalPathButton},
                .bounds = {370, 213, 92, 26},
                .text = L("Choose...")});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectAddToFavouritesButton},
                .bounds = {16, 262, 180, 26},
                .text = L("Add to My Servers")});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectCancelButton},
                .bounds = {272, 262, 92, 26},
                .text = L("Cancel"),
                .command = toolbox::kCommandCancel,
                .is_cancel = true});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectOKButton},
                .bounds = {370, 262, 92, 26},
                .text = L("Connect"),
                .command = toolbox::kCommandOK,
                .is_default = true});
}

void ConnectionController::MakeAlternateWindow() {
  alternateWindow_ = toolbox::Window::Create(
      {.kind = toolbox::WindowKind::kDialog, .title = L("Connect to Server"), .content = {0, 0, 480, 196}});
  toolbox::Window& w = *alternateWindow_;
  w.AddControl({.kind = ControlKind::kStaticText,
                .id = {kApplicationSignature, 50},
                .bounds = {16, 14, 446, 20},
                .text = values::Format(L("Log in to %@:"), {*rendezvousName_}),
                .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  AddLabel(w, 51, 46, L("My Servers:"));
  toolbox::MenuRef favourites = FavouritesMenu();
  w.AddControl({.kind = ControlKind::kPopUpButton,
                .id = {kApplicationSignature, kConnectAlternateFavouriteMenu},
                .bounds = {132, 44, 330, 26},
                .value = 1,
                .minimum = 1,
                .maximum = favourites->CountItems(),
                .menu = favourites});
  AddLabel(w, 52, 80, L("User Name:"));
  AddField(w, ControlKind::kEditText, kConnectAlternateUserBox, 80);
  AddLabel(w, 53, 112, L("Password:"));
  AddField(w, ControlKind::kPasswordText, kConnectAlternatePasswordField, 112);
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectAlternateAddToFavouritesButton},
                .bounds = {16, 154, 180, 26},
                .text = L("Add to My Servers")});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, 54},
                .bounds = {272, 154, 92, 26},
                .text = L("Cancel"),
                .command = toolbox::kCommandCancel,
                .is_cancel = true});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectAlternateOKButton},
                .bounds = {370, 154, 92, 26},
                .text = L("Connect"),
                .command = toolbox::kCommandOK,
                .is_default = true});
}

void ConnectionController::MakeSheet(toolbox::Window& parent) {
  sheet_ = toolbox::Window::Create({.kind = toolbox::WindowKind::kSheet,
                                    .title = L("Add to My Servers"),
                                    .content = {0, 0, 380, 120},
                                    .parent = &parent});
  toolbox::Window& s = *sheet_;
  s.AddControl({.kind = ControlKind::kStaticText,
                .id = {kApplicationSignature, 60},
                .bounds = {16, 14, 348, 20},
                .text = L("Name of the new server in My Servers:")});
  s.AddControl({.kind = ControlKind::kEditText,
                .id = {kApplicationSignature, kConnectSheetField},
                .bounds = {16, 40, 348, 24}});
  s.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, 61},
                .bounds = {176, 80, 92, 26},
                .text = L("Cancel"),
                .command = toolbox::kCommandCancel,
                .is_cancel = true});
  s.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kConnectSheetOKButton},
                .bounds = {272, 80, 92, 26},
                .text = L("Add"),
                .command = toolbox::kCommandOK,
                .is_default = true});
}

void ConnectionController::AwakeFromNib() {
  if (bonjourForm()) {
    alternateWindow_->Center();
    alternateWindow_->Select();
    return;
  }
  window_->Center();
  Enable(window_.get(), kConnectOKButton, false);
  Enable(window_.get(), kConnectAddToFavouritesButton, false);
  if (!preFill_) {
    if (toolbox::Control* p = Find(window_.get(), kConnectProtocolPopup)) p->SetValue(1);
    adjustForProtocolType(1);
  } else {
    const ConnectForm form = browser::ParseConnectPreFill(*preFill_);
    SetText(window_.get(), kConnectHostBox, form.host);
    SetText(window_.get(), kConnectPathBox, form.path);
    if (toolbox::Control* p = Find(window_.get(), kConnectProtocolPopup)) p->SetValue(form.tag);
    adjustForProtocolType(form.tag);
    if (browser::HasConnectText(TextOf(window_.get(), kConnectHostBox))) {
      Enable(window_.get(), kConnectOKButton, true);
      Enable(window_.get(), kConnectAddToFavouritesButton, !matchesFavourite());
    }
  }
  SetText(window_.get(), kConnectLocalPathBox, HomeFolder());
}

void ConnectionController::adjustForProtocolType(int tag) {
  previousProtocol_ = tag;
  const auto layout = browser::AdjustForProtocolTag(tag);
  if (!layout) return;
  toolbox::Window* w = window_.get();
  SetText(w, kConnectServerLabel, L(layout->serverLabel.c_str()));
  Enable(w, kConnectUserBox, layout->userEnabled);
  if (layout->userEmptied) SetText(w, kConnectUserBox, "");
  Enable(w, kConnectPathBox, layout->pathEnabled);
  if (layout->pathEmptied) SetText(w, kConnectPathBox, "");
  // Unlike the edit sheet, the password keeps its state: the public disk only empties it.
  if (layout->passwordEmptied) SetText(w, kConnectPasswordField, "");
  Enable(w, kConnectUserLabel, !layout->userLabelDimmed);
  Enable(w, kConnectPathLabel, !layout->pathLabelDimmed);
  imageName_ = layout->image;
}

void ConnectionController::protocolTypeChanged() {
  const toolbox::Control* protocol = Find(window_.get(), kConnectProtocolPopup);
  const int tag = protocol ? protocol->Value() : 1;
  if (tag != previousProtocol_) {
    selectedFavourite_.reset();
    SetText(window_.get(), kConnectAddToFavouritesButton, L("Add to My Servers"));
    if (toolbox::Control* menu = Find(window_.get(), kConnectFavouriteMenu)) menu->SetValue(1);
    if (toolbox::Control* host = Find(window_.get(), kConnectHostBox)) controlTextDidChange(*host);
  }
  adjustForProtocolType(tag);
}

void ConnectionController::favouriteChanged(toolbox::Control& popUp) {
  const int item = popUp.Value();
  const bool alternate = popUp.id().id == kConnectAlternateFavouriteMenu;
  toolbox::Control* save = Find(
      &popUp.window(), alternate ? kConnectAlternateAddToFavouritesButton : kConnectAddToFavouritesButton);
  if (item <= 1 || static_cast<std::size_t>(item - 1) > favourites_.size()) {
    if (save) save->SetText(L("Add to My Servers"));
    selectedFavourite_.reset();
    return;
  }
  const ConnectFavourite& f = favourites_[static_cast<std::size_t>(item - 2)];
  if (alternate) {
    SetText(alternateWindow_.get(), kConnectAlternateUserBox, f.user);
    SetText(alternateWindow_.get(), kConnectAlternatePasswordField, f.password);
  } else {
    const ConnectForm form = browser::ConnectFormForFavourite(f);
    SetText(window_.get(), kConnectHostBox, form.host);
    SetText(window_.get(), kConnectPathBox, form.path);
    if (toolbox::Control* p = Find(window_.get(), kConnectProtocolPopup)) p->SetValue(form.tag);
    adjustForProtocolType(form.tag);
    if (f.hostType != browser::kHostIDisk) SetText(window_.get(), kConnectUserBox, form.user);
    if (!f.localPath.empty()) SetText(window_.get(), kConnectLocalPathBox, f.localPath);
    SetText(window_.get(), kConnectPasswordField, f.password);
    Enable(window_.get(), kConnectOKButton, true);
  }
  if (save) {
    save->SetText(L("Save"));
    save->SetEnabled(false);
  }
  selectedFavourite_ = f;
}

bool ConnectionController::matchesFavourite() const {
  if (!selectedFavourite_) return false;
  if (bonjourForm()) {
    return browser::TrimConnectField(TextOf(alternateWindow_.get(), kConnectAlternateUserBox)) ==
               selectedFavourite_->user &&
           TextOf(alternateWindow_.get(), kConnectAlternatePasswordField) == selectedFavourite_->password;
  }
  return browser::MatchesFavourite(Form(), *selectedFavourite_);
}

void ConnectionController::UpdateSaveButton() {
  toolbox::Control* save = FormSaveButton();
  if (!save) return;
  const bool connectEnabled = bonjourForm() ? true : Find(window_.get(), kConnectOKButton)->IsEnabled();
  save->SetEnabled(connectEnabled && !matchesFavourite());
  if (selectedFavourite_) save->SetText(L("Save"));
}

void ConnectionController::controlTextDidChange(toolbox::Control& field) {
  if (sheet_ && &field.window() == sheet_.get()) {
    Enable(sheet_.get(), kConnectSheetOKButton, browser::HasConnectText(field.Text()));
    return;
  }
  if (field.id().id == kConnectHostBox)
    Enable(window_.get(), kConnectOKButton, browser::HasConnectText(field.Text()));
  UpdateSaveButton();
}

void ConnectionController::saveFavourite() {
  if (selectedFavourite_) {
    if (browser::FavouriteFindByName(selectedFavourite_->name)) {
      UpdateSelectedFavourite();
    } else {
      SaveToFavouriteWithName(selectedFavourite_->name);
    }
    if (toolbox::Control* save = FormSaveButton()) save->SetEnabled(false);
    return;
  }
  MakeSheet(FormWindow());
  Controllers()[sheet_.get()] = shared_from_this();
  auto self = weak_from_this();
  toolbox::Window* raw = sheet_.get();
  sheet_->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                         [self](runtime::HandlerCall&, runtime::Event& event) {
                           auto c = self.lock();
                           if (!c) return runtime::kEventNotHandledErr;
                           const auto command = toolbox::GetCommand(event).id;
                           if (command == toolbox::kCommandOK) return c->okSaveFavourite(), runtime::kNoErr;
                           if (command == toolbox::kCommandCancel)
                             return c->cancelSaveFavourite(), runtime::kNoErr;
                           return runtime::kEventNotHandledErr;
                         });
  if (toolbox::Control* field = Find(raw, kConnectSheetField)) {
    field->SetValueChangedHandler([self](toolbox::Control& c) {
      if (auto controller = self.lock()) controller->controlTextDidChange(c);
    });
    field->SetText("");
    field->SetFocus();
  }
  Enable(raw, kConnectSheetOKButton, false);
  raw->ShowSheet();
}

void ConnectionController::okSaveFavourite() {
  if (!sheet_) return;
  const std::string name = browser::TrimConnectField(TextOf(sheet_.get(), kConnectSheetField));
  if (name.empty()) return;
  if (browser::FavouriteFindByName(name)) {
    UiServicesSlot::Get().RunStandardAlert(AlertType::kNote,
                                           L("There is already a favourite with that name."), std::nullopt);
    return;
  }
  SaveToFavouriteWithName(name);
  if (toolbox::Control* save = FormSaveButton()) save->SetText(L("Save"));
  Enable(window_.get(), kConnectAddToFavouritesButton, false);
}

void ConnectionController::cancelSaveFavourite() {
  if (!sheet_) return;
  Controllers().erase(sheet_.get());
  auto sheet = std::move(sheet_);
  sheet->Release();
}

void ConnectionController::SaveToFavouriteWithName(const std::string& name) {
  std::string address, user, password, localPath;
  std::int32_t type = browser::kHostBonjourPeer;
  if (bonjourForm()) {
    address = *rendezvousName_;
    user = browser::TrimConnectField(TextOf(alternateWindow_.get(), kConnectAlternateUserBox));
    password = TextOf(alternateWindow_.get(), kConnectAlternatePasswordField);
  } else {
    const ConnectForm form = Form();
    const browser::StoredFavouriteAddress stored = browser::StoredAddressForConnectForm(form);
    address = stored.address;
    user = stored.user;
    type = stored.hostType;
    password = form.password;
    localPath = form.localPath;
  }
  const browser::FavouriteRef f = browser::AddFavourite(name, address, user, password, type, localPath);
  if (f) {
    const ConnectFavourite entry = browser::ConnectFavouriteFor(*f);
    selectedFavourite_ = entry;
    AddFavouriteItem(entry);
    if (toolbox::Control* menu = FormFavouriteMenu()) menu->SetValue(menu->Maximum());
  }
  cancelSaveFavourite();
  Enable(window_.get(), kConnectAddToFavouritesButton, false);
}

void ConnectionController::UpdateSelectedFavourite() {
  const browser::FavouriteRef f = browser::FavouriteFindByName(selectedFavourite_->name);
  if (!f) return;
  if (bonjourForm()) {
    f->setUser(browser::TrimConnectField(TextOf(alternateWindow_.get(), kConnectAlternateUserBox)));
    f->setPassword(TextOf(alternateWindow_.get(), kConnectAlternatePasswordField));
  } else {
    const ConnectForm form = Form();
    const browser::StoredFavouriteAddress stored = browser::StoredAddressForConnectForm(form);
    f->setAddress(stored.address);
    f->setHostType(stored.hostType);
    f->setUser(stored.user);
    f->setPassword(form.password);
    f->setLocalPath(form.localPath);
  }
  const ConnectFavourite updated = browser::ConnectFavouriteFor(*f);
  for (ConnectFavourite& entry : favourites_) {
    if (entry.name == updated.name) entry = updated;
  }
  selectedFavourite_ = updated;
  browser::MarkFavouritesChanged();
  runtime::CallHook(browser::RemoteHostRowHooksSlot::Get().updateHostRows);
}

void ConnectionController::AddFavouriteItem(const ConnectFavourite& favourite) {
  favourites_.push_back(favourite);
  toolbox::Control* menu = FormFavouriteMenu();
  if (!menu || !menu->PopUpMenu()) return;
  menu->PopUpMenu()->AppendItem(favourite.name);
  menu->RefreshMenu();
}

void ConnectionController::chooseLocalPath() {
  const ChooseFolderAnswer answer = FolderDialogServiceSlot::Get().ChooseFolder(
      TextOf(window_.get(), kConnectLocalPathBox), values::FourCC("CoLP"));
  if (answer.kind != ChooseFolderAnswer::Kind::kChosen) return;
  SetText(window_.get(), kConnectLocalPathBox, answer.folder);
  if (toolbox::Control* box = Find(window_.get(), kConnectLocalPathBox)) controlTextDidChange(*box);
}

void ConnectionController::ok() {
  const std::optional<std::string> favourite =
      selectedFavourite_ ? std::optional<std::string>(selectedFavourite_->name) : std::nullopt;
  if (bonjourForm()) {
    const std::string host = rendezvousHostName_.value_or("");
    if (host.empty()) return;
    sharing::ConnectToSharingPeer(
        host, browser::TrimConnectField(TextOf(alternateWindow_.get(), kConnectAlternateUserBox)),
        TextOf(alternateWindow_.get(), kConnectAlternatePasswordField), favourite, rendezvousName_);
    CloseAll();
    return;
  }
  const ConnectForm form = Form();
  const std::optional<browser::ConnectRequest> r = browser::ConnectRequestForForm(form);
  if (!r) return;
  std::optional<std::uint32_t> connected;
  bool dotMac = false;
  switch (r->tag) {
    case 2:
    case 3: {
      const bool secure = r->tag == 3;
      const std::string address = r->host.substr(secure ? 7 : 6);
      auto root = browser::ConnectFTPServer(address, r->user, r->password, favourite, secure);
      if (!root) {
        UiServicesSlot::Get().RunStandardAlert(AlertType::kCaution,
                                               L("The server or remote path is invalid."),
                                               L("The server may not contain spaces or special characters."));
        return;
      }
      const int index = browser::FindFTPHostIndex(root->ftpHostID());
      if (index >= 0)
        browser::HostSetLocalFolderPath(browser::GetHostAtIndex(static_cast<std::size_t>(index)),
                                        form.localPath);
      break;
    }
    case 4:
    case 5: {
      dotMac = true;
      auto root = browser::DotMacNode::connectToIdisk(r->host, r->user, r->password, r->path, favourite);
      if (root && root->connection()) connected = root->connection()->hostID();
      break;
    }
    case 6:
    case 7: {
      dotMac = true;
      auto root = browser::DotMacNode::connectToWebDAVServer(r->host, r->user, r->password, r->path,
                                                             favourite, r->tag == 7);
      if (root && root->connection()) connected = root->connection()->hostID();
      break;
    }
    default:
      sharing::ConnectToSharingPeer(r->host, r->user, r->password, favourite, std::nullopt);
      break;
  }
  if (dotMac && connected) {
    const int index = browser::FindDotMacHostIndex(*connected);
    if (index >= 0)
      browser::HostSetLocalFolderPath(browser::GetHostAtIndex(static_cast<std::size_t>(index)),
                                      form.localPath);
  }
  rendezvousName_.reset();
  CloseAll();
}

void ConnectionController::CloseAll() {
  if (closing_) return;
  closing_ = true;
  auto keep = shared_from_this();
  cancelSaveFavourite();
  for (auto* w : {window_.get(), alternateWindow_.get()}) {
    if (w) Controllers().erase(w);
  }
  if (window_) std::exchange(window_, nullptr)->Release();
  if (alternateWindow_) std::exchange(alternateWindow_, nullptr)->Release();
}

void ConnectionController::WindowWillClose() {
  CloseAll();
}

std::shared_ptr<ConnectionController> ConnectionControllerFor(const toolbox::Window& window) {
  const auto it = Controllers().find(&window);
  return it == Controllers().end() ? nullptr : it->second;
}

toolbox::Window* OpenConnectDialog(const browser::ConnectDialogRequest& request) {
  auto c = std::shared_ptr<ConnectionController>(new ConnectionController());
  if (request.serviceName) {
    c->rendezvousName_ = request.serviceName;
    c->rendezvousHostName_ = request.bonjourHost;
  }
  if (request.preFill) c->preFill_ = request.preFill;
  // Both forms are made; the Bonjour form shows only its own window, and the main window
  // holds the boxes the main form's rules read.
  c->MakeMainWindow();
  if (c->bonjourForm()) c->MakeAlternateWindow();
  std::weak_ptr<ConnectionController> self = c;
  for (toolbox::Window* w : {c->window_.get(), c->alternateWindow_.get()}) {
    if (!w) continue;
    Controllers()[w] = c;
    w->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                       {toolbox::kEventClassWindow, toolbox::kEventWindowClose}},
                      [self](runtime::HandlerCall&, runtime::Event& event) {
                        auto controller = self.lock();
                        if (!controller) return runtime::kEventNotHandledErr;
                        if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
                          controller->WindowWillClose();
                          return runtime::kNoErr;
                        }
                        const auto command = toolbox::GetCommand(event).id;
                        if (command == toolbox::kCommandOK) return controller->ok(), runtime::kNoErr;
                        if (command == toolbox::kCommandCancel)
                          return controller->CloseAll(), runtime::kNoErr;
                        return runtime::kEventNotHandledErr;
                      });
  }
  toolbox::Window* main = c->window_.get();
  auto onText = [self](toolbox::Control& field) {
    if (auto controller = self.lock()) controller->controlTextDidChange(field);
  };
  for (std::int32_t id :
       {kConnectHostBox, kConnectUserBox, kConnectPathBox, kConnectPasswordField, kConnectLocalPathBox})
    Find(main, id)->SetValueChangedHandler(onText);
  Find(main, kConnectProtocolPopup)->SetValueChangedHandler([self](toolbox::Control&) {
    if (auto controller = self.lock()) controller->protocolTypeChanged();
  });
  auto onFavourite = [self](toolbox::Control& popUp) {
    if (auto controller = self.lock()) controller->favouriteChanged(popUp);
  };
  auto onSave = [self](toolbox::Control&) {
    if (auto controller = self.lock()) controller->saveFavourite();
  };
  Find(main, kConnectFavouriteMenu)->SetValueChangedHandler(onFavourite);
  Find(main, kConnectAddToFavouritesButton)->SetValueChangedHandler(onSave);
  Find(main, kConnectChooseLocalPathButton)->SetValueChangedHandler([self](toolbox::Control&) {
    if (auto controller = self.lock()) controller->chooseLocalPath();
  });
  if (toolbox::Window* alt = c->alternateWindow_.get()) {
    for (std::int32_t id : {kConnectAlternateUserBox, kConnectAlternatePasswordField})
      Find(alt, id)->SetValueChangedHandler(onText);
    Find(alt, kConnectAlternateFavouriteMenu)->SetValueChangedHandler(onFavourite);
    Find(alt, kConnectAlternateAddToFavouritesButton)->SetValueChangedHandler(onSave);
  }
  c->AwakeFromNib();

  // The favourites in name order: a Bonjour login offers those of copies found by Bonjour,
  // the main form every other kind.
  std::vector<browser::FavouriteRef> sorted = browser::CopyFavouritesInStore();
  std::sort(sorted.begin(), sorted.end(), [](const browser::FavouriteRef& a, const browser::FavouriteRef& b) {
    return a->name() < b->name();
  });
  int remembered = 0;
  for (const browser::FavouriteRef& f : sorted) {
    if ((f->hostType() == browser::kHostBonjourPeer) != c->bonjourForm()) continue;
    c->AddFavouriteItem(browser::ConnectFavouriteFor(*f));
    if (request.favouriteName && f->name() == *request.favouriteName)
      remembered = static_cast<int>(c->favourites_.size()) + 1;
  }
  if (remembered > 0) {
    toolbox::Control* menu = c->FormFavouriteMenu();
    menu->SetValue(remembered);
    c->selectedFavourite_ = c->favourites_[static_cast<std::size_t>(remembered - 2)];
    if (toolbox::Control* save = c->FormSaveButton()) {
      save->SetText(L("Save"));
      save->SetEnabled(false);
    }
  } else if (toolbox::Control* menu = Find(main, kConnectFavouriteMenu)) {
    menu->SetValue(1);
  }
  // The application comes forward first, so that the dialog ends up in front of its windows.
  ApplicationWindowsServiceSlot::Get().BringApplicationToFront();
  if (c->bonjourForm()) {
    c->alternateWindow_->Select();
  } else {
    if (request.user && *request.user != "anonymous" && Find(main, kConnectUserBox)->IsEnabled())
      SetText(main, kConnectUserBox, *request.user);
    if (request.password && request.user.value_or("") != "anonymous")
      SetText(main, kConnectPasswordField, *request.password);
    main->Select();
    // The server is what a person types first.
    Find(main, kConnectHostBox)->SetFocus();
  }
  return c->bonjourForm() ? c->alternateWindow_.get() : main;
}

void InstallConnectDialogHook() {
  browser::ConnectDialogHooksSlot::Get().openConnectDialog = [](const browser::ConnectDialogRequest& r) {
    OpenConnectDialog(r);
  };
}

}  // namespace ui
