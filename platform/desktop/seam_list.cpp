#include "platform/desktop/seam_list.h"

#include "platform/desktop/notifier.h"
#include "platform/desktop/sound_player.h"
#include "platform/desktop/system_actions.h"
#include "platform/desktop/updater.h"
#include "platform/desktop/workspace.h"
#include "platform/runtime/seam_list.h"

namespace desktop {

void ListSeams() {
  runtime::ListServiceSlot<NotifierSlot>(
      runtime::DefaultServes("the default is the Linux implementation (a notification command)"));
  runtime::ListServiceSlot<SoundPlayerSlot>(
      runtime::DefaultServes("the default is the Linux implementation (a sound-playing command)"));
  runtime::ListServiceSlot<SystemActionsSlot>(
      runtime::DefaultServes("the default is the Linux implementation (logind)"));
  runtime::ListServiceSlot<UpdaterSlot>(runtime::DefaultServes(
      "the default is the Linux implementation: the package manager updates the program"));
  runtime::ListServiceSlot<WorkspaceSlot>(
      runtime::DefaultServes("the default is the Linux implementation (xdg-open and the file manager)"));
}

}  // namespace desktop
