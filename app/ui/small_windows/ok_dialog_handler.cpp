#include "app/ui/small_windows/ok_dialog_handler.h"

namespace ui {

runtime::Status OKDialogEventHandler(runtime::HandlerCall&, runtime::Event& event, toolbox::Window& window) {
  if (!toolbox::IsCommandEvent(event, toolbox::kEventCommandProcess, toolbox::kCommandOK))
    return runtime::kEventNotHandledErr;
  window.Release();
  return runtime::kNoErr;
}

runtime::HandlerRef InstallOKDialogHandler(toolbox::Window& window) {
  toolbox::Window* raw = &window;
  return window.InstallHandler({{toolbox::kEventClassCommand, toolbox::kEventCommandProcess}},
                               [raw](runtime::HandlerCall& call, runtime::Event& event) {
                                 return OKDialogEventHandler(call, event, *raw);
                               });
}

}  // namespace ui
