#include "app/ui/small_windows/add_url_window.h"

#include <mutex>

#include "app/queue/adding/add_download.h"
#include "app/queue/record/download_queue_wrapper.h"
#include "app/queue/record/queue_tables.h"
#include "app/util/helpers/session_helpers.h"
#include "platform/toolbox/controls/control.h"
#include "platform/values/localize.h"

namespace ui {
namespace {

using toolbox::ControlKind;
using toolbox::kApplicationSignature;

std::string FirstURL(const values::Array& entries) {
  if (entries.empty()) return {};
  const values::Value* url = entries[0].Find("url");
  return url ? url->StringOr("") : std::string();
}

// "New Download", then the downloads that can take the address as another source, in
// the queue's UID order.
toolbox::MenuRef TargetMenu() {
  toolbox::MenuRef menu = toolbox::Menu::Create(0);
  menu->AppendItem(values::Localized("New Download"));
  std::vector<queue::WrapperRef> targets;
  {
    std::lock_guard lock(queue::gQueueItemsLock);
    for (const auto& [uid, wrapper] : queue::gQueueItems)
      if (wrapper && (static_cast<std::uint32_t>(wrapper->status()) & kAddURLTargetMask) != 0)
        targets.push_back(wrapper);
  }
  for (const auto& wrapper : targets) {
    const int item = menu->AppendItem(wrapper->filename());
    menu->SetItemProperty(item, kApplicationSignature, kAddURLItemKey,
                          values::Value(values::Number::Int64(wrapper->uid())));
  }
  return menu;
}

void AddOrAppend(toolbox::Window& window) {
  const values::Value* stored = window.Property(kApplicationSignature, kAddURLProperty);
  const values::Array* entries = stored ? stored->AsArray() : nullptr;
  toolbox::Control* popUp = window.FindControl(kApplicationSignature, kAddURLPopUpID);
  if (!entries || entries->empty() || !popUp) return;
  const int chosen = popUp->Value();
  if (chosen <= 1) {
    queue::AddDownloadRequest request;
    request.urlEntries = *entries;
    request.batchID = util::GetSessionUUIDString();
    request.updateList = true;
    queue::AddDownload(request);
    queue::MarkQueueDirty();
    return;
  }
  const toolbox::MenuRef menu = popUp->PopUpMenu();
  const values::Value* key =
      menu ? menu->ItemProperty(chosen, kApplicationSignature, kAddURLItemKey) : nullptr;
  std::int64_t uid = 0;
  if (!key || !key->AsNumber() || !(uid = key->AsNumber()->AsInt64())) return;
  if (queue::WrapperRef wrapper = queue::LookUpDownloadWrapper(static_cast<queue::DownloadUID>(uid)))
    queue::AppendURLEntries(*entries, wrapper);
}

}  // namespace

runtime::Status AddURLWindowEventHandler(runtime::HandlerCall&, runtime::Event& event,
                                         toolbox::Window& window) {
  if (event.Is(toolbox::kEventClassWindow, toolbox::kEventWindowClose)) {
    window.RemoveProperty(kApplicationSignature, kAddURLProperty);
    return runtime::kEventNotHandledErr;
  }
  if (!event.Is(toolbox::kEventClassCommand, toolbox::kEventCommandProcess))
    return runtime::kEventNotHandledErr;
  const toolbox::FourCharCode command = toolbox::GetCommand(event).id;
  if (command == toolbox::kCommandOK) {
    AddOrAppend(window);
    window.Release();
    return runtime::kNoErr;
  }
  if (command == toolbox::kCommandCancel) {
    window.Release();
    return runtime::kNoErr;
  }
  return runtime::kEventNotHandledErr;
}

toolbox::Window* ShowAddURLWindow(const values::Array& urlEntries) {
  toolbox::WindowSpec desc;
  desc.kind = toolbox::WindowKind::kDialog;
  desc.title = values::Localized("Add URL");
  desc.content = {0, 0, 460, 176};
  auto window = toolbox::Window::Create(desc);
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, 10},
                      .bounds = {20, 16, 420, 20},
                      .text = values::Localized("Add this address to the download list:"),
                      .font = toolbox::GetThemeFont(toolbox::ThemeFont::kEmphasizedSystem)});
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, kAddURLTextID},
                      .bounds = {20, 40, 420, 34},
                      .text = FirstURL(urlEntries)});
  window->AddControl({.kind = ControlKind::kStaticText,
                      .id = {kApplicationSignature, 11},
                      .bounds = {20, 86, 40, 20},
                      .text = values::Localized("As:")});
  toolbox::MenuRef targets = TargetMenu();
  window->AddControl({.kind = ControlKind::kPopUpButton,
                      .id = {kApplicationSignature, kAddURLPopUpID},
                      .bounds = {64, 82, 376, 26},
                      .value = 1,
                      .minimum = 1,
                      .maximum = targets->CountItems(),
                      .menu = targets});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 3},
                      .bounds = {256, 132, 90, 26},
                      .text = values::Localized("Cancel"),
                      .command = toolbox::kCommandCancel,
                      .is_cancel = true});
  window->AddControl({.kind = ControlKind::kPushButton,
                      .id = {kApplicationSignature, 4},
                      .bounds = {352, 132, 90, 26},
                      .text = values::Localized("Add"),
                      .command = toolbox::kCommandOK,
                      .is_default = true});
  window->SetProperty(kApplicationSignature, kAddURLProperty, values::Value(urlEntries));
  toolbox::Window* raw = window.get();
  window->InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess},
                          {toolbox::kEventClassWindow, toolbox::kEventWindowClose}},
                         [raw](runtime::HandlerCall& call, runtime::Event& event) {
                           return AddURLWindowEventHandler(call, event, *raw);
                         });
  window->Center();
  window->Select();
  return raw;
}

}  // namespace ui
