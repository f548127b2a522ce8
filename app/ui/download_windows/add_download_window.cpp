#include "app/ui/download_windows/add_download_window.h"

#include <filesystem>

#include "app/engine/urls/url_list.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/download_windows/download_form_controls.h"
#include "app/ui/download_windows/download_form_rules.h"
#include "app/ui/download_windows/edit_download_context.h"
#include "app/ui/small_windows/text_context_menu.h"
#include "app/util/desktop/ui_helpers.h"
#include "app/util/files/file_names.h"
#include "app/util/helpers/session_helpers.h"
#include "app/util/settings/settings_store.h"
#include "platform/runtime/run_loop.h"
#include "platform/toolbox/app/command.h"
#include "platform/toolbox/app/presenter.h"
#include "platform/toolbox/controls/enter_key.h"
#include "platform/values/clock.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

constexpr double kWidth = 540;

AddDownloadForm ReadAddForm(const toolbox::Window& w) {
  AddDownloadForm form;
  form.urls = ControlText(w, kDownloadURLField);
  form.connections = ControlText(w, kDownloadConnectionsField);
  if (const toolbox::Control* popup = FindDownloadControl(w, kDownloadWhenDonePopUp)) {
    form.whenDoneItem = popup->Value();
  }
  if (FindDownloadControl(w, kDownloadRefererField)) form.referer = ControlText(w, kDownloadRefererField);
  form.separateDownloads = ControlIsOn(w, kDownloadSeparateBox);
  form.queuePosition = ControlText(w, kAddPositionField);
  form.useAuth = ControlIsOn(w, kDownloadUseAuthBox);
  form.saveCredentials = ControlIsOn(w, kDownloadSaveCredentialsBox);
  form.user = ControlText(w, kDownloadUserField);
  form.password = ControlText(w, kDownloadPasswordField);
  form.scheduleTime = ReadScheduleControls(w, form.schedule);
  form.chosenName = WindowFileName(w);
  form.destination = DestinationAliasFor(WindowFolder(w));
  return form;
}

// OK: the downloads are added and the window goes, or an alert says why not.
void AddFromWindow(toolbox::Window& window) {
  AddFormContext context;
  context.now = values::Now();
  context.defaultConnections = util::CurrentSettings()->defaultPorts;
  context.queuedCount = queue::gQueuedCount;
  if (const toolbox::Control* popup = FindDownloadControl(window, kDownloadWhenDonePopUp)) {
    context.scripts = WhenDonePopUpScripts(*popup);
  }
  context.batchID = util::CreateUUIDString();
  auto planned = PlanAddDownloads(ReadAddForm(window), context);
  if (auto* alert = std::get_if<FormAlert>(&planned)) {
    ShowFormAlert(window, *alert);
    return;
  }
  const auto added = AddPlannedDownloads(std::get<AddDownloadPlan>(planned));
  if (!added.empty()) window.Release();
}

// The name the save dialog proposes: the one chosen before, else the first URL's file name.
std::string ProposedName(const toolbox::Window& window) {
  std::string name = WindowFileName(window);
  if (!name.empty()) return name;
  if (auto list = engine::ParseURLListText(ControlText(window, kDownloadURLField), std::nullopt)) {
    if (auto url = engine::EntryURL(list->front())) return util::CopyFileNameForURL(*url);
  }
  return {};
}

void ShowFolder(toolbox::Window& window, const std::string& folder) {
  if (toolbox::Control* popup = FindDownloadControl(window, kDownloadFolderPopUp)) {
    SetFolderPopupItem(*popup, folder);
  }
}

runtime::Status AddDownloadWindowHandler(runtime::Event& event, toolbox::Window& window) {
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
    window.Release();
    return runtime::kNoErr;
  }
  if (event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess) &&
      toolbox::GetCommand(event).id == kDownloadOKCommand) {
    AddFromWindow(window);
    return runtime::kNoErr;
  }
  return HandleSharedFormEvent(event, window);
}

}  // namespace

void ChooseDownloadFolder(toolbox::Window& window) {
  EditDownloadContext* edit = EditContextOfWindow(window);
  toolbox::FileDialogRequest request;
  request.parent = &window;
  request.directory = edit ? edit->folder : WindowFolder(window);
  const bool severalEdited = edit && edit->items.size() > 1;
  std::optional<std::string> chosen;
  if (severalEdited) {
    request.title = values::Localized("Choose a Folder");
    chosen = toolbox::GetPresenter().ChooseFolder(request);
    if (chosen) edit->folder = *chosen;
  } else {
    request.title = values::Localized("Save As");
    request.file_name = edit ? edit->name : ProposedName(window);
    chosen = toolbox::GetPresenter().PutFile(request);
    if (chosen) {
      const std::filesystem::path path(*chosen);
      const std::string folder = path.parent_path().string();
      const std::string name = path.filename().string();
      if (edit) {
        edit->folder = folder;
        if (!name.empty()) ChooseEditedFileName(window, name);
      } else {
        SetWindowFolder(window, folder);
        if (!name.empty()) SetWindowFileName(window, name);
      }
    }
  }
  if (chosen) ShowFolder(window, edit ? edit->folder : WindowFolder(window));
}

void DropFolderOnDownloadWindow(toolbox::Window& window, const std::string& path) {
  const std::string folder = FolderForDroppedPath(path);
  if (folder.empty()) return;
  toolbox::Control* line = FindDownloadControl(window, kDownloadPathText);
  if (EditDownloadContext* edit = EditContextOfWindow(window)) {
    edit->folder = folder;
    if (line) line->SetText((std::filesystem::path(folder) / edit->name).string());
    return;
  }
  SetWindowFolder(window, folder);
  if (line) line->SetText(folder);
}

toolbox::Window* ShowAddDownloadWindow(const std::optional<std::string>& initialText) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDocument;
  desc.title = values::Localized(kAddDownloadWindowTitle);
  desc.content = {0, 0, kWidth, 520};
  auto made = toolbox::Window::Create(desc);
  toolbox::Window& w = *made;
  AcceptFolderDrops(w, DropFolderOnDownloadWindow);
  SetWindowFileName(w, "");

  w.AddControl(
      {.kind = ControlKind::kStaticText, .bounds = {16, 12, 300, 20}, .text = values::Localized("URLs:")});
  toolbox::Control* urls = w.AddControl({.kind = ControlKind::kMultilineText,
                                         .id = {kApplicationSignature, kDownloadURLField},
                                         .bounds = {16, 34, kWidth - 32, 96}});
  w.AddControl({.kind = ControlKind::kCheckBox,
                .id = {kApplicationSignature, kDownloadSeparateBox},
                .bounds = {16, 134, kWidth - 32, 26},
                .text = values::Localized("Separate downloads for each URL"),
                .value = 1});
  AddLabelledField(w, {16, 170, 124, 20}, "Referer:",
                   {.kind = ControlKind::kEditText,
                    .id = {kApplicationSignature, kDownloadRefererField},
                    .bounds = {144, 166, kWidth - 160, 24}});
  AddLabelledField(w, {16, 204, 124, 20}, "Connections:",
                   {.kind = ControlKind::kNumberText,
                    .id = {kApplicationSignature, kDownloadConnectionsField},
                    .bounds = {144, 200, 60, 24}});
  AddLabelledField(w, {236, 204, 150, 20}, "Queue position:",
                   {.kind = ControlKind::kNumberText,
                    .id = {kApplicationSignature, kAddPositionField},
                    .bounds = {390, 200, 60, 24}});
  const double shared = AddSharedDownloadControls(w, 236, true);
  const double buttons = 236 + shared + 12;
  AddCancelAndOKButtons(w, buttons);
  w.SizeContent(kWidth, buttons + 44);

  SetScheduleTime(w, values::Now());
  UpdateScheduleEnabled(w);
  UpdateCredentialsEnabled(w);
  if (toolbox::Control* ok = FindDownloadControl(w, kDownloadOKButton)) ok->SetEnabled(false);
  if (toolbox::Control* c = FindDownloadControl(w, kDownloadConnectionsField)) {
    c->SetValue(util::CurrentSettings()->defaultPorts);
  }
  if (initialText) urls->SetText(*initialText);
  InstallTextContextMenu(*urls);
  if (toolbox::Control* c = FindDownloadControl(w, kAddPositionField)) c->SetValue(queue::gQueuedCount + 1);
  const std::string folder = DefaultDownloadFolderPath();
  SetWindowFolder(w, folder);
  ShowFolder(w, folder);

  toolbox::Window* raw = &w;
  toolbox::PressDefaultButtonOnEnter(*urls);
  urls->SetValueChangedHandler([raw](toolbox::Control& c) {
    if (toolbox::Control* ok = FindDownloadControl(*raw, kDownloadOKButton))
      ok->SetEnabled(!c.Text().empty());
  });
  if (toolbox::Control* ok = FindDownloadControl(w, kDownloadOKButton)) ok->SetEnabled(!urls->Text().empty());
  w.InstallHandler(
      {{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
       {toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus},
       {toolbox::kEventClassWindow, toolbox::kEventWindowClose}},
      [raw](runtime::HandlerCall&, runtime::Event& event) { return AddDownloadWindowHandler(event, *raw); });
  w.SetInWindowMenu(true);
  if (!w.SetFrameAutosaveKey(kAddDownloadFrameKey, true)) w.Center();
  w.Select();
  urls->SetFocus();
  util::RequestUserAttention();
  return raw;
}

}  // namespace ui
