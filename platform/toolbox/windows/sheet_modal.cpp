#include "platform/toolbox/windows/sheet_modal.h"

#include <map>

#include "platform/toolbox/app/application.h"

namespace toolbox {
namespace {

struct Run {
  Application::ModalLoopID loop = 0;
  FourCharCode answer = 0;
  bool ended = false;
};

// By the sheet's serial; a sheet is run once at a time.
std::map<std::uint64_t, Run>& Runs() {
  static std::map<std::uint64_t, Run> runs;
  return runs;
}

bool IsButtonCommand(Window& sheet, FourCharCode command) {
  if (command == kCommandOK || command == kCommandCancel) return true;
  for (Control* c : sheet.Controls())
    if (c->Command() == command &&
        (c->kind() == ControlKind::kPushButton || c->kind() == ControlKind::kBevelButton))
      return true;
  return false;
}

}  // namespace

FourCharCode RunSheetModal(Window& sheet) {
  if (sheet.IsReleased() || sheet.kind() != WindowKind::kSheet || Runs().count(sheet.serial())) return 0;
  std::shared_ptr<Window> keep = sheet.shared_from_this();
  const std::uint64_t serial = sheet.serial();
  Runs()[serial] = Run{Application::Shared().NewModalLoop()};

  // Installed last, so called first: the sheet's own handlers run inside CallNext.
  auto commands =
      sheet.InstallHandler({{kEventClassCommand, kEventCommandProcess}},
                           [&sheet](runtime::HandlerCall& call, runtime::Event& event) {
                             const FourCharCode command = GetCommand(event).id;
                             const Status status = call.CallNext(event);
                             if (status == runtime::kEventNotHandledErr && IsButtonCommand(sheet, command)) {
                               EndSheetModal(sheet, command);
                               return runtime::kNoErr;
                             }
                             return status;
                           });
  auto closing = sheet.InstallHandler(
      {{kEventClassWindow, kEventWindowSheetClosed}, {kEventClassWindow, kEventWindowDispose}},
      [&sheet](runtime::HandlerCall& call, runtime::Event& event) {
        EndSheetModal(sheet, kCommandCancel);
        return call.CallNext(event);
      });

  FourCharCode answer = 0;
  if (sheet.ShowSheet() == runtime::kNoErr) {
    Application::Shared().RunModalLoop(Runs()[serial].loop);
    answer = Runs()[serial].answer;
  }
  commands->Remove();
  closing->Remove();
  Runs().erase(serial);
  sheet.HideSheet();
  return answer;
}

void EndSheetModal(Window& sheet, FourCharCode answer) {
  auto it = Runs().find(sheet.serial());
  if (it == Runs().end() || it->second.ended) return;
  it->second.ended = true;
  it->second.answer = answer;
  Application::Shared().EndModalLoop(it->second.loop);
}

bool IsSheetRunningModal(const Window& sheet) {
  return Runs().count(sheet.serial()) != 0;
}

}  // namespace toolbox
