#include "app/ui/download_windows/edit_download_window.h"

#include <filesystem>
#include <map>

#include "app/engine/urls/url_list.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/events/post_download_actions.h"
#include "app/queue/operations/queue_commands.h"
#include "app/queue/record/download_files.h"
#include "app/queue/record/queue_tables.h"
#include "app/ui/download_windows/add_download_window.h"
#include "app/ui/download_windows/download_form_controls.h"
#include "app/ui/download_windows/download_form_rules.h"
#include "app/ui/download_windows/edit_download_context.h"
#include "app/ui/small_windows/text_context_menu.h"
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

std::map<std::uint64_t, EditDownloadContext>& Contexts() {
  static std::map<std::uint64_t, EditDownloadContext> contexts;
  return contexts;
}

// The URLs of a download as the field shows them, one per line.
std::string URLText(const queue::DownloadQueueElement& e) {
  std::string text;
  for (const values::Value& entry : e.urlData) {
    const values::Value* url = entry.Find(engine::kEntryURL);
    if (!url || !url->IsString()) continue;
    if (!text.empty()) text += "\r";
    text += *url->AsString();
  }
  return text;
}

std::string FirstReferer(const queue::DownloadQueueElement& e) {
  if (e.urlData.empty()) return {};
  const values::Value* r = e.urlData.front().Find(engine::kEntryReferer);
  return r && r->IsString() ? *r->AsString() : std::string();
}

void SetTitleForName(toolbox::Window& window, const std::string& name) {
  window.SetTitle(values::Localized(kEditDownloadTitlePrefix) + name);
}

void ChooseFileForEdit(toolbox::Window& window) {
  EditDownloadContext* context = EditContextOfWindow(window);
  if (!context) return;
  toolbox::FileDialogRequest request;
  request.title = values::Localized("Save As");
  request.directory = context->folder;
  request.file_name = context->name;
  auto chosen = toolbox::GetPresenter().PutFile(request);
  if (!chosen) return;
  const std::filesystem::path path(*chosen);
  context->folder = path.parent_path().string();
  if (!path.filename().empty()) ChooseEditedFileName(window, path.filename().string());
}

runtime::Status EditDownloadWindowHandler(runtime::Event& event, toolbox::Window& window) {
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowDispose)) {
    ForgetEditContext(window);
    return runtime::kEventNotHandledErr;
  }
  if (!event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess))
    return HandleSharedFormEvent(event, window);
  const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
  if (command == kDownloadOKCommand) {
    if (ApplyDownloadEdits(window)) window.Release();
    return runtime::kNoErr;
  }
  if (command == kEditDownloadStartCommand) {
    if (!ApplyDownloadEdits(window)) return runtime::kNoErr;
    const std::vector<queue::WrapperRef> items = EditContextOfWindow(window)->items;
    window.Release();
    for (const queue::WrapperRef& w : items) {
      if (queue::LookUpDownloadWrapper(w->uid()) == w) queue::StartDownload(w);
    }
    return runtime::kNoErr;
  }
  if (command == kEditDownloadChooseFileCommand) {
    ChooseFileForEdit(window);
    return runtime::kNoErr;
  }
  if (command == kEditDownloadRevealCommand) {
    if (EditDownloadContext* context = EditContextOfWindow(window)) {
      for (const queue::WrapperRef& w : context->items) {
        if (auto file = queue::GetDownloadFileRef(w)) queue::RevealInFinder(*file);
      }
    }
    return runtime::kNoErr;
  }
  return HandleSharedFormEvent(event, window);
}

toolbox::Control* Label(toolbox::Window& w, toolbox::Rect bounds, const char* text) {
  return w.AddControl({.kind = ControlKind::kStaticText, .bounds = bounds, .text = values::Localized(text)});
}

}  // namespace

EditDownloadContext* EditContextOfWindow(const toolbox::Window& window) {
  auto it = Contexts().find(window.serial());
  return it == Contexts().end() ? nullptr : &it->second;
}

EditDownloadContext& MakeEditContext(const toolbox::Window& window) {
  return Contexts()[window.serial()];
}

void ForgetEditContext(const toolbox::Window& window) {
  Contexts().erase(window.serial());
}

void ChooseEditedFileName(toolbox::Window& window, const std::string& name) {
  EditDownloadContext* context = EditContextOfWindow(window);
  if (!context) return;
  context->name = name;
  context->nameChosen = true;
  SetTitleForName(window, name);
  if (toolbox::Control* line = FindDownloadControl(window, kDownloadPathText)) {
    line->SetText((std::filesystem::path(context->folder) / name).string());
  }
}

bool ApplyDownloadEdits(toolbox::Window& window) {
  EditDownloadContext* context = EditContextOfWindow(window);
  if (!context) return false;
  EditDownloadForm form;
  const bool one = context->items.size() == 1;
  if (one) {
    form.urls = ControlText(window, kDownloadURLField);
    form.queuePosition = ControlText(window, kEditPositionField);
  }
  if (FindDownloadControl(window, kDownloadRefererField))
    form.referer = ControlText(window, kDownloadRefererField);
  form.connections = ControlText(window, kDownloadConnectionsField);
  EditFormContext formContext;
  formContext.now = values::Now();
  if (const toolbox::Control* popup = FindDownloadControl(window, kDownloadWhenDonePopUp)) {
    form.whenDoneItem = popup->Value();
    formContext.scripts = WhenDonePopUpScripts(*popup);
  }
  form.useAuth = ControlIsOn(window, kDownloadUseAuthBox);
  form.user = ControlText(window, kDownloadUserField);
  form.password = ControlText(window, kDownloadPasswordField);
  form.scheduleTime = ReadScheduleControls(window, form.schedule);
  if (context->nameChosen) form.chosenName = context->name;
  form.destination = DestinationAliasFor(context->folder);

  std::vector<EditedDownloadValues> values;
  for (const queue::WrapperRef& w : context->items)
    values.push_back(ValuesOfDownload(std::as_const(*w).element()));
  auto planned = PlanDownloadEdits(form, formContext, values);
  if (auto* alert = std::get_if<FormAlert>(&planned)) {
    ShowFormAlert(window, *alert);
    return false;
  }
  ApplyPlannedEdits(std::get<EditDownloadPlan>(planned), context->items);
  return true;
}

toolbox::Window* ShowEditDownloadWindow(const std::vector<queue::WrapperRef>& downloads) {
  std::vector<queue::WrapperRef> items;
  for (const queue::WrapperRef& w : downloads) {
    if (w && w->hostUID() == 0 && queue::LookUpDownloadWrapper(w->uid()) == w) items.push_back(w);
  }
  if (items.empty()) return nullptr;
  const bool one = items.size() == 1;
  // The window shows the values of the last download it edits.
  const queue::DownloadQueueElement& shown = std::as_const(*items.back()).element();

  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDocument;
  desc.title = values::Localized(one ? kEditDownloadWindowTitle : kEditDownloadsWindowTitle);
  desc.content = {0, 0, kWidth, 520};
  auto made = toolbox::Window::Create(desc);
  toolbox::Window& w = *made;
  AcceptFolderDrops(w, DropFolderOnDownloadWindow);
  EditDownloadContext& context = MakeEditContext(w);
  context.items = items;
  context.name = shown.filename;

  double y = 12;
  toolbox::Control* urls = nullptr;
  if (one) {
    Label(w, {16, y, 300, 20}, "URLs:");
    urls = w.AddControl({.kind = ControlKind::kMultilineText,
                         .id = {kApplicationSignature, kDownloadURLField},
                         .bounds = {16, y + 22, kWidth - 32, 80}});
    y += 110;
    AddLabelledField(w, {16, y + 4, 124, 20}, "Referer:",
                     {.kind = ControlKind::kEditText,
                      .id = {kApplicationSignature, kDownloadRefererField},
                      .bounds = {144, y, kWidth - 160, 24}});
    y += 34;
  }
  AddLabelledField(w, {16, y + 4, 124, 20}, "Connections:",
                   {.kind = ControlKind::kNumberText,
                    .id = {kApplicationSignature, kDownloadConnectionsField},
                    .bounds = {144, y, 60, 24}});
  if (one) {
    AddLabelledField(w, {236, y + 4, 150, 20}, "Queue position:",
                     {.kind = ControlKind::kNumberText,
                      .id = {kApplicationSignature, kEditPositionField},
                      .bounds = {390, y, 60, 24}});
  }
  y += 36;
  y += AddSharedDownloadControls(w, y, false);
  if (one) {
    w.AddControl({.kind = ControlKind::kPushButton,
                  .bounds = {144, y, 150, 28},
                  .text = values::Localized("Choose File..."),
                  .command = kEditDownloadChooseFileCommand});
    w.AddControl({.kind = ControlKind::kPushButton,
                  .bounds = {300, y, 150, 28},
                  .text = values::Localized("Show File"),
                  .command = kEditDownloadRevealCommand});
    y += 36;
  }
  y += 8;
  w.AddControl({.kind = ControlKind::kPushButton,
                .bounds = {16, y, 96, 28},
                .text = values::Localized("Start"),
                .command = kEditDownloadStartCommand});
  AddCancelAndOKButtons(w, y);
  w.SizeContent(kWidth, y + 44);

  // Credentials and schedule.
  if (toolbox::Control* c = FindDownloadControl(w, kDownloadUseAuthBox)) c->SetValue(shown.useAuth ? 1 : 0);
  if (toolbox::Control* c = FindDownloadControl(w, kDownloadUserField)) c->SetText(shown.authUser);
  if (toolbox::Control* c = FindDownloadControl(w, kDownloadPasswordField)) c->SetText(shown.authPassword);
  UpdateCredentialsEnabled(w);
  if (toolbox::Control* c = FindDownloadControl(w, kDownloadScheduleBox)) {
    c->SetValue(shown.status == queue::kStatusScheduled ? 1 : 0);
  }
  SetScheduleTime(w, shown.scheduleTime > 0 ? shown.scheduleTime : values::Now());
  UpdateScheduleEnabled(w);
  if (one) {
    SetTitleForName(w, shown.filename);
    urls->SetText(URLText(shown));
    InstallTextContextMenu(*urls);
    toolbox::PressDefaultButtonOnEnter(*urls);
    if (toolbox::Control* c = FindDownloadControl(w, kDownloadRefererField)) c->SetText(FirstReferer(shown));
    if (toolbox::Control* c = FindDownloadControl(w, kEditPositionField)) c->SetValue(shown.queuePosition);
  }
  if (toolbox::Control* c = FindDownloadControl(w, kDownloadConnectionsField)) c->SetValue(shown.connections);
  if (toolbox::Control* popup = FindDownloadControl(w, kDownloadWhenDonePopUp)) {
    popup->SetValue(
        WhenDoneItemForCompletion(shown.completionType, shown.completion, WhenDonePopUpScripts(*popup)));
  }
  std::optional<values::Bytes> alias = shown.destination;
  auto folder = queue::ResolveAliasField(alias);
  context.folder = folder ? folder->Path() : DefaultDownloadFolderPath();
  if (toolbox::Control* popup = FindDownloadControl(w, kDownloadFolderPopUp))
    SetFolderPopupItem(*popup, context.folder);

  toolbox::Window* raw = &w;
  w.InstallHandler(
      {{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
       {toolbox::kEventClassCommand, toolbox::kEventCommandUpdateStatus},
       {toolbox::kEventClassWindow, toolbox::kEventWindowDispose}},
      [raw](runtime::HandlerCall&, runtime::Event& event) { return EditDownloadWindowHandler(event, *raw); });
  w.SetInWindowMenu(true);
  if (!w.SetFrameAutosaveKey(kEditDownloadFrameKey, true)) w.Center();
  w.Select();
  if (urls) {
    urls->SetFocus();
  } else if (toolbox::Control* c = FindDownloadControl(w, kDownloadConnectionsField)) {
    c->SetFocus();
  }
  return raw;
}

}  // namespace ui
