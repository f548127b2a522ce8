#include "app/shell/shell_hooks.h"

#include "app/queue/undo/truvane_undo.h"

namespace shell {

ShellHooks ShellHooks::Defaults() {
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

}  // namespace shell
