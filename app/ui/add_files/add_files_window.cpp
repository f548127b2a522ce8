#include "app/ui/add_files/add_files_window.h"

#include <array>
#include <cstdlib>
#include <map>

#include "app/ui/add_files/add_files_form.h"
#include "app/util/settings/download_folder.h"
#include "app/util/settings/setting_keys.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/file_ref.h"
#include "platform/prefs/preference_store.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/controls/control.h"
#include "platform/toolbox/theme/icons.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr double kWidth = 520;
// The advanced options take this much height when shown.
constexpr double kAdvancedHeight = 160;
constexpr double kAdvancedTop = 166;

constexpr std::array<std::int64_t, 4> kUnitBytes = {1, 1024, 1024 * 1024, 1024 * 1024 * 1024};

struct WindowState {
  std::shared_ptr<AddFilesController> controller;
  std::string folder;
  bool advancedOpen = false;
};

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

std::map<std::uint64_t, WindowState>& Windows() {
  static std::map<std::uint64_t, WindowState> windows;
  return windows;
}

WindowState* StateOf(const toolbox::Window& window) {
  auto it = Windows().find(window.serial());
  return it == Windows().end() ? nullptr : &it->second;
}

toolbox::Control* Find(const toolbox::Window& window, std::int32_t id) {
  return window.FindControl(kApplicationSignature, id);
}

std::string TextOf(const toolbox::Window& window, std::int32_t id) {
  const toolbox::Control* c = Find(window, id);
  return c ? c->Text() : std::string();
}

bool IsOn(const toolbox::Window& window, std::int32_t id) {
  const toolbox::Control* c = Find(window, id);
  return c && c->Value() != 0;
}

using RecentKey = util::SettingKey<values::Array>;

std::vector<std::string> RecentList(RecentKey key) {
  std::vector<std::string> out;
  if (const std::optional<values::Array> stored = util::ReadStoredSetting(key))
    for (const values::Value& v : *stored)
      if (v.IsString()) out.push_back(v.StringOr(""));
  return out;
}

void StoreRecent(RecentKey key, const std::string& entry) {
  values::Array array;
  for (const std::string& s : PutRecentEntry(RecentList(key), entry)) array.emplace_back(s);
  util::WriteSetting(key, std::move(array));
}

// A pull-down of the recent entries: its first item is its title, choosing another puts
// that entry into the field. Disabled while there is none.
void FillRecentPopUp(toolbox::Window& window, std::int32_t popup_id, RecentKey key) {
  toolbox::Control* popup = Find(window, popup_id);
  if (!popup) return;
  toolbox::MenuRef menu = popup->PopUpMenu();
  if (!menu) return;
  while (menu->CountItems() > 0) menu->DeleteItem(menu->CountItems());
  menu->AppendItem(values::Localized("Recent"));
  const std::vector<std::string> recent = RecentList(key);
  for (const std::string& entry : recent) menu->AppendItem(entry);
  popup->RefreshMenu();
  popup->SetMaximum(menu->CountItems());
  popup->SetValue(1);
  popup->SetEnabled(!recent.empty());
}

void RefreshFolderPopUp(toolbox::Window& window, const WindowState& state) {
  toolbox::Control* popup = Find(window, kAddFilesFolderPopUp);
  if (!popup) return;
  toolbox::MenuRef menu = popup->PopUpMenu();
  if (!menu) return;
  while (menu->CountItems() > 0) menu->DeleteItem(menu->CountItems());
  std::string name = state.folder;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  if (const std::size_t slash = name.rfind('/'); slash != std::string::npos && name.size() > 1)
    name = name.substr(slash + 1);
  toolbox::MenuItem item;
  item.text = name;
  item.icon = toolbox::IconForFolder(16);
  menu->AppendItem(item);
  toolbox::MenuItem separator;
  separator.separator = true;
  menu->AppendItem(separator);
  menu->AppendItem(values::Localized("Other..."));
  popup->RefreshMenu();
  popup->SetMaximum(menu->CountItems());
  popup->SetValue(1);
}

void ChangeLocation(toolbox::Window& window) {
  WindowState* state = StateOf(window);
  if (!state) return;
  toolbox::FileDialogRequest request;
  request.title = values::Localized("Choose a Folder");
  request.directory = state->folder;
  request.parent = &window;
  if (auto chosen = toolbox::GetPresenter().ChooseFolder(request)) state->folder = *chosen;
  RefreshFolderPopUp(window, *state);
}

// The advanced options shown or hidden; what stands below them moves with them.
void SetAdvancedOpen(toolbox::Window& window, bool open) {
  WindowState* state = StateOf(window);
  if (!state || state->advancedOpen == open) return;
  state->advancedOpen = open;
  const double dy = open ? kAdvancedHeight : -kAdvancedHeight;
  for (toolbox::Control* c : window.Controls()) {
    const std::int32_t id = c->id().id;
    const bool advanced = (id >= kAddFilesConnectionsField && id <= kAddFilesPreserveBox) ||
                          id == kAddFilesRecentRegexesPopUp || (id >= 100 && id < 110);
    if (advanced) {
      c->SetVisible(open);
      continue;
    }
    toolbox::Rect b = c->Bounds();
    if (b.y >= kAdvancedTop) {
      b.y += dy;
      c->SetBounds(b);
    }
  }
  const toolbox::Rect content = window.ContentBounds();
  window.SizeContent(content.width, content.height + dy);
  if (toolbox::Control* d = Find(window, kAddFilesDisclosure)) d->SetValue(open ? 1 : 0);
}

AddFilesForm ReadForm(const toolbox::Window& window, const WindowState& state) {
  AddFilesForm form;
  form.url = TextOf(window, kAddFilesURLField);
  form.referer = TextOf(window, kAddFilesRefererField);
  form.extensions = TextOf(window, kAddFilesExtensionsField);
  form.useExtensionList = IsOn(window, kAddFilesUseExtensionsBox);
  form.followImages = IsOn(window, kAddFilesImagesBox);
  form.followLinks = IsOn(window, kAddFilesFollowLinksBox);
  form.connections = TextOf(window, kAddFilesConnectionsField);
  form.useScanLevels = IsOn(window, kAddFilesUseLevelsBox);
  form.levels = TextOf(window, kAddFilesLevelsField);
  form.user = TextOf(window, kAddFilesUserField);
  form.password = TextOf(window, kAddFilesPasswordField);
  form.minimumSize = TextOf(window, kAddFilesSizeField);
  if (const toolbox::Control* unit = Find(window, kAddFilesUnitPopUp)) {
    const int index = unit->Value() - 1;
    form.unitBytes = index >= 0 && index < static_cast<int>(kUnitBytes.size()) ? kUnitBytes[index] : 1;
  }
  if (const toolbox::Control* behaviour = Find(window, kAddFilesRegexBehaviourPopUp))
    form.negateRegex = behaviour->Value() == 2;
  form.regex = TextOf(window, kAddFilesRegexField);
  form.preserveHierarchy = IsOn(window, kAddFilesPreserveBox);
  if (!state.folder.empty()) form.folder = state.folder;
  return form;
}

void StartFromForm(toolbox::Window& window) {
  WindowState* state = StateOf(window);
  if (!state || state->controller->working()) return;
  auto made = MakeCrawlRequestFromForm(ReadForm(window, *state));
  if (auto* alert = std::get_if<std::string>(&made)) {
    state->controller->ShowAlert(*alert);
    return;
  }
  AddFilesStart& start = std::get<AddFilesStart>(made);
  if (start.regex) StoreRecent(util::kLastRegexesKey, *start.regex);
  StoreRecent(util::kLastURLsKey, start.url);
  if (start.extensions) StoreRecent(util::kLastExtensionsKey, *start.extensions);
  FillRecentPopUp(window, kAddFilesRecentURLsPopUp, util::kLastURLsKey);
  FillRecentPopUp(window, kAddFilesRecentExtensionsPopUp, util::kLastExtensionsKey);
  FillRecentPopUp(window, kAddFilesRecentRegexesPopUp, util::kLastRegexesKey);
  state->controller->StartScan(std::move(start.request));
}

runtime::Status AddFilesWindowEventHandler(runtime::Event& event, toolbox::Window& window) {
  WindowState* state = StateOf(window);
  if (!state) return runtime::kEventNotHandledErr;
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
    if (!state->controller->working()) return runtime::kEventNotHandledErr;
    toolbox::AlertRequest alert;
    alert.style = toolbox::AlertStyle::kWarning;
    alert.message = values::Localized("Closing this window will stop the operation.");
    alert.buttons = {{values::Localized("Close"), true, false}, {values::Localized("Cancel"), false, true}};
    alert.parent = &window;
    if (toolbox::GetPresenter().RunAlert(alert) != 0) return runtime::kNoErr;
    state->controller->Abort();
    return runtime::kEventNotHandledErr;
  }
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
    util::SetPreferenceValue(util::kAddFilesDisclosureKey.name, values::Value(state->advancedOpen ? 1 : 0));
    state->controller->AttachWindow(nullptr);
    Windows().erase(window.serial());
    return runtime::kEventNotHandledErr;
  }
  if (!event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess))
    return runtime::kEventNotHandledErr;
  const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
  if (command == kAddFilesStartCommand) {
    StartFromForm(window);
    return runtime::kNoErr;
  }
  if (command == kAddFilesStopCommand) {
    if (state->controller->working())
      state->controller->Abort();
    else
      window.Close();
    return runtime::kNoErr;
  }
  return runtime::kEventNotHandledErr;
}

toolbox::Control* Label(toolbox::Window& w, std::int32_t id, toolbox::Rect bounds, const char* text) {
  return w.AddControl({.kind = ControlKind::kStaticText,
                       .id = {kApplicationSignature, id},
                       .bounds = bounds,
                       .text = values::Localized(text)});
}

toolbox::Control* Field(toolbox::Window& w, ControlKind kind, std::int32_t id, toolbox::Rect bounds,
                        std::string text = {}) {
  toolbox::Control* c = w.AddControl({.kind = kind, .id = {kApplicationSignature, id}, .bounds = bounds});
  if (c && !text.empty()) c->SetText(text);
  return c;
}

toolbox::Control* Box(toolbox::Window& w, std::int32_t id, toolbox::Rect bounds, const char* text, bool on) {
  return w.AddControl({.kind = ControlKind::kCheckBox,
                       .id = {kApplicationSignature, id},
                       .bounds = bounds,
                       .text = values::Localized(text),
                       .value = on ? 1 : 0});
}

toolbox::Control* PopUp(toolbox::Window& w, std::int32_t id, toolbox::Rect bounds,
                        std::initializer_list<const char*> items) {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  for (const char* item : items) menu->AppendItem(values::Localized(item));
  return w.AddControl({.kind = ControlKind::kPopUpButton,
                       .id = {kApplicationSignature, id},
                       .bounds = bounds,
                       .value = 1,
                       .minimum = 1,
                       .maximum = menu->CountItems(),
                       .menu = menu});
}

void ConnectRecent(toolbox::Window& window, std::int32_t popup_id, std::int32_t field_id) {
  toolbox::Control* popup = Find(window, popup_id);
  if (!popup) return;
  toolbox::Window* raw = &window;
  popup->SetValueChangedHandler([raw, field_id](toolbox::Control& c) {
    const int item = c.Value();
    if (item <= 1) return;
    const toolbox::MenuRef menu = c.PopUpMenu();
    toolbox::Control* field = Find(*raw, field_id);
    if (menu && field && item <= menu->CountItems()) field->SetText(menu->Item(item)->text);
    c.SetValue(1);
  });
}

void SavePreferenceOnChange(toolbox::Window& window, std::int32_t id, util::SettingKey<bool> key,
                            bool as_integer) {
  if (toolbox::Control* box = Find(window, id))
    box->SetValueChangedHandler([key, as_integer](toolbox::Control& c) {
      util::SetPreferenceValue(
          key.name, as_integer ? values::Value(c.Value() != 0 ? 1 : 0) : values::Value(c.Value() != 0));
    });
}

}  // namespace

bool AddFilesController::StartScan(engine::CrawlRequestRef request) {
  if (working_ || !request) return false;
  request->window = runtime::ObjectHandle::Of(shared_from_this());
  request->eventTarget = runtime::EventTarget::Application();
  request_ = request;
  working_ = true;
  SetStatusLog("");
  if (!engine::StartCrawlTask(request)) {
    request_.reset();
    working_ = false;
    ShowAlert(values::Localized("The scan could not be started."));
  }
  UpdateButtons();
  return working_;
}

void AddFilesController::Abort() {
  working_ = false;
  if (request_) request_->Abort();
  UpdateButtons();
}

void AddFilesController::Cleanup(const std::string& crawlID) {
  if (request_ && request_->crawlID != crawlID) return;
  working_ = false;
  if (request_ && request_->cancelSource) request_->cancelSource->Invalidate();
  request_.reset();
  UpdateButtons();
}

void AddFilesController::SetStatusLog(std::string text) {
  statusLog_ = std::move(text);
  if (window_)
    if (toolbox::Control* view = Find(*window_, kAddFilesStatusView)) {
      view->SetText(statusLog_);
      view->ScrollToEnd();
    }
}

void AddFilesController::AppendStatus(const std::string& text) {
  statusLog_ += text;
  if (window_)
    if (toolbox::Control* view = Find(*window_, kAddFilesStatusView)) view->AppendText(text);
}

void AddFilesController::ShowAlert(const std::string& message) {
  if (!window_) return;
  toolbox::AlertRequest alert;
  alert.style = toolbox::AlertStyle::kInformational;
  alert.message = message;
  alert.parent = window_;
  toolbox::GetPresenter().RunAlert(alert);
}

void AddFilesController::UpdateButtons() {
  if (!window_) return;
  if (toolbox::Control* start = Find(*window_, kAddFilesStartButton)) start->SetEnabled(!working_);
  if (toolbox::Control* stop = Find(*window_, kAddFilesStopButton))
    stop->SetText(values::Localized(working_ ? "Stop" : "Close"));
}

std::shared_ptr<AddFilesController> AddFilesControllerOfWindow(const toolbox::Window& window) {
  const WindowState* state = StateOf(window);
  return state ? state->controller : nullptr;
}

void AddFilesWindowShowAlert(AddFilesController& controller, const std::string& message) {
  controller.ShowAlert(message);
}
void AddFilesWindowAppendStatus(AddFilesController& controller, const std::string& text) {
  controller.AppendStatus(text);
}
void AddFilesWindowCleanUp(AddFilesController& controller, const std::string& crawlID) {
  controller.Cleanup(crawlID);
}

toolbox::Window* OpenAddFilesFromURLWindow() {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDocument;
  desc.title = values::Localized("Add Files from URL");
  desc.content = {0, 0, kWidth, kAdvancedTop + 204};
  auto window = toolbox::Window::Create(desc);
  toolbox::Window& w = *window;

  Label(w, 30, {16, 16, 84, 20}, "Address:");
  Field(w, ControlKind::kEditText, kAddFilesURLField, {100, 12, 306, 24});
  PopUp(w, kAddFilesRecentURLsPopUp, {412, 12, 92, 24}, {"Recent"});
  Label(w, 31, {16, 48, 84, 20}, "Referer:");
  Field(w, ControlKind::kEditText, kAddFilesRefererField, {100, 44, 404, 24});
  Box(w, kAddFilesUseExtensionsBox, {16, 78, 190, 22},
      "Extensions:", util::ReadSetting(util::kAddFilesUseExtensionsKey));
  Field(w, ControlKind::kEditText, kAddFilesExtensionsField, {210, 76, 196, 24});
  PopUp(w, kAddFilesRecentExtensionsPopUp, {412, 76, 92, 24}, {"Recent"});
  Box(w, kAddFilesImagesBox, {16, 108, 200, 22}, "Also take images", false);
  Box(w, kAddFilesFollowLinksBox, {220, 108, 284, 22}, "Follow other hosts and folders",
      util::ReadSetting(util::kFollowLinksKey));
  w.AddControl({.kind = ControlKind::kDisclosure,
                .id = {kApplicationSignature, kAddFilesDisclosure},
                .bounds = {16, 136, 300, 22},
                .text = values::Localized("Advanced options")});

  // The advanced options, hidden until the triangle opens them.
  const double a = kAdvancedTop;
  Label(w, 100, {32, a + 4, 126, 20}, "Connections:");
  Field(w, ControlKind::kNumberText, kAddFilesConnectionsField, {160, a, 50, 24}, "3");
  Box(w, kAddFilesUseLevelsBox, {220, a + 2, 126, 22},
      "Scan levels:", util::ReadSetting(util::kUseScanLevelsKey));
  Field(w, ControlKind::kNumberText, kAddFilesLevelsField, {348, a, 50, 24}, "2");
  Label(w, 101, {32, a + 36, 126, 20}, "User:");
  Field(w, ControlKind::kEditText, kAddFilesUserField, {160, a + 32, 110, 24});
  Label(w, 102, {276, a + 36, 88, 20}, "Password:");
  Field(w, ControlKind::kPasswordText, kAddFilesPasswordField, {366, a + 32, 138, 24});
  Label(w, 103, {32, a + 68, 126, 20}, "Minimum size:");
  Field(w, ControlKind::kNumberText, kAddFilesSizeField, {160, a + 64, 70, 24}, "0");
  PopUp(w, kAddFilesUnitPopUp, {232, a + 64, 90, 24}, {"bytes", "KB", "MB", "GB"});
  Label(w, 104, {32, a + 100, 126, 20}, "Names:");
  PopUp(w, kAddFilesRegexBehaviourPopUp, {160, a + 96, 118, 24}, {"Matching", "Not matching"});
  Field(w, ControlKind::kEditText, kAddFilesRegexField, {282, a + 96, 124, 24});
  PopUp(w, kAddFilesRecentRegexesPopUp, {412, a + 96, 92, 24}, {"Recent"});
  Box(w, kAddFilesPreserveBox, {32, a + 130, 300, 22}, "Keep the folder structure", false);

  // Below the advanced options: they move down when the options open.
  Label(w, 32, {16, a + 4, 84, 20}, "Save to:");
  PopUp(w, kAddFilesFolderPopUp, {100, a, 250, 24}, {""});
  w.AddControl(
      {.kind = ControlKind::kTextView,
       .id = {kApplicationSignature, kAddFilesStatusView},
       .bounds = {16, a + 34, 488, 120},
       .bindings = toolbox::kBindLeft | toolbox::kBindTop | toolbox::kBindRight | toolbox::kBindBottom});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kAddFilesStopButton},
                .bounds = {318, a + 166, 90, 28},
                .text = values::Localized("Close"),
                .command = kAddFilesStopCommand,
                .is_cancel = true});
  w.AddControl({.kind = ControlKind::kPushButton,
                .id = {kApplicationSignature, kAddFilesStartButton},
                .bounds = {414, a + 166, 90, 28},
                .text = values::Localized("Start"),
                .command = kAddFilesStartCommand,
                .is_default = true});
  for (toolbox::Control* c : w.Controls()) {
    const std::int32_t id = c->id().id;
    if ((id >= kAddFilesConnectionsField && id <= kAddFilesPreserveBox) ||
        id == kAddFilesRecentRegexesPopUp || (id >= 100 && id < 110))
      c->SetVisible(false);
  }

  WindowState state;
  state.controller = std::make_shared<AddFilesController>();
  state.controller->AttachWindow(&w);
  files::FileRef folder;
  state.folder = util::GetDefaultDownloadFolder(folder) ? folder.Path() : HomeFolder();
  Windows()[w.serial()] = state;

  FillRecentPopUp(w, kAddFilesRecentURLsPopUp, util::kLastURLsKey);
  FillRecentPopUp(w, kAddFilesRecentExtensionsPopUp, util::kLastExtensionsKey);
  FillRecentPopUp(w, kAddFilesRecentRegexesPopUp, util::kLastRegexesKey);
  ConnectRecent(w, kAddFilesRecentURLsPopUp, kAddFilesURLField);
  ConnectRecent(w, kAddFilesRecentExtensionsPopUp, kAddFilesExtensionsField);
  ConnectRecent(w, kAddFilesRecentRegexesPopUp, kAddFilesRegexField);
  RefreshFolderPopUp(w, Windows()[w.serial()]);
  toolbox::Window* raw = &w;
  Find(w, kAddFilesFolderPopUp)->SetValueChangedHandler([raw](toolbox::Control& c) {
    if (c.Value() != 1) ChangeLocation(*raw);
  });
  Find(w, kAddFilesDisclosure)->SetValueChangedHandler([raw](toolbox::Control& c) {
    SetAdvancedOpen(*raw, c.Value() != 0);
  });
  SavePreferenceOnChange(w, kAddFilesUseExtensionsBox, util::kAddFilesUseExtensionsKey, true);
  SavePreferenceOnChange(w, kAddFilesFollowLinksBox, util::kFollowLinksKey, false);
  SavePreferenceOnChange(w, kAddFilesUseLevelsBox, util::kUseScanLevelsKey, false);

  w.InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                    {toolbox::kEventClassWindow, toolbox::kEventWindowClose},
                    {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
                   [raw](runtime::HandlerCall&, runtime::Event& event) {
                     return AddFilesWindowEventHandler(event, *raw);
                   });
  if (util::ReadSetting(util::kAddFilesDisclosureKey)) SetAdvancedOpen(w, true);
  w.SetInWindowMenu(true);
  if (!w.SetFrameAutosaveKey("caddfiles", true)) w.Center();
  w.Select();
  if (toolbox::Control* url = Find(w, kAddFilesURLField)) url->SetFocus();
  return raw;
}

}  // namespace ui
