#include "app/shell/shell_hooks.h"

#include "app/queue/undo/truvane_undo.h"

namespace shell {

namespace {

ShellHooks DefaultHooks() {
  ShellHooks hooks;
  hooks.setUndoRegistrationEnabled = [](bool enabled) {
    if (enabled) {
      queue::TruvaneUndoEnableRegistration();
    } else {
      queue::TruvaneUndoDisableRegistration();
    }
  };
  return hooks;
}

}  // namespace

ShellHooks& GetShellHooks() {
  static ShellHooks hooks = DefaultHooks();
  return hooks;
}

}  // namespace shell
