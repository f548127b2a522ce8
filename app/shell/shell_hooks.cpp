#include "app/shell/shell_hooks.h"

namespace shell {

ShellHooks& GetShellHooks() {
  static ShellHooks hooks;
  return hooks;
}

}  // namespace shell
