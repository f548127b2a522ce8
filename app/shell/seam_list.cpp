#include "app/shell/seam_list.h"

#include "app/shell/shell_hooks.h"
#include "app/shell/shell_timers.h"
#include "platform/runtime/seam_list.h"

namespace shell {

void ListSeams() {
  runtime::ListHooks<SchedulerActionsSlot>(
      "shell::SchedulerActions",
      {
          {"startDownload", &SchedulerActions::startDownload, runtime::AtStartUp()},
          {"canStartUnderHostLimits", &SchedulerActions::canStartUnderHostLimits, runtime::AtStartUp()},
      });
  runtime::ListHooks<ShellHooksSlot>(
      "shell::ShellHooks",
      {
          {"setUndoRegistrationEnabled", &ShellHooks::setUndoRegistrationEnabled, runtime::AtStartUp()},
          {"loadUploadQueue", &ShellHooks::loadUploadQueue, runtime::AtStartUp()},
          {"createMainWindow", &ShellHooks::createMainWindow, runtime::WithDisplay()},
          {"showMiniWindowIfNeeded", &ShellHooks::showMiniWindowIfNeeded,
           runtime::PendingOn("the mini window")},
          {"runPluginSetup", &ShellHooks::runPluginSetup,
           runtime::PendingOn("the plug-in set-up and update sheets")},
          {"startSharingServers", &ShellHooks::startSharingServers, runtime::AtStartUp()},
          {"startBrowsingSharingServices", &ShellHooks::startBrowsingSharingServices, runtime::AtStartUp()},
          {"connectAutoconnectFavourites", &ShellHooks::connectAutoconnectFavourites, runtime::AtStartUp()},
          {"miniWindowUpdateLabels", &ShellHooks::miniWindowUpdateLabels,
           runtime::PendingOn("the mini window")},
          {"refreshChangedRows", &ShellHooks::refreshChangedRows, runtime::WithDisplay()},
          {"updateDockTile", &ShellHooks::updateDockTile, runtime::AtStartUp()},
          {"activeUploadCount", &ShellHooks::activeUploadCount, runtime::AtStartUp()},
          {"waitingUploadCount", &ShellHooks::waitingUploadCount, runtime::AtStartUp()},
          {"startNextUpload", &ShellHooks::startNextUpload, runtime::AtStartUp()},
          {"uploadsChanged", &ShellHooks::uploadsChanged, runtime::AtStartUp()},
          {"saveUploadQueue", &ShellHooks::saveUploadQueue, runtime::AtStartUp()},
          {"saveWindowState", &ShellHooks::saveWindowState, runtime::WithDisplay()},
          {"cancelActiveUploads", &ShellHooks::cancelActiveUploads, runtime::AtStartUp()},
          {"runningUploads", &ShellHooks::runningUploads, runtime::AtStartUp()},
          {"runningDownloadStreams", &ShellHooks::runningDownloadStreams, runtime::AtStartUp()},
          {"saveFavouritesIfChanged", &ShellHooks::saveFavouritesIfChanged, runtime::AtStartUp()},
          {"stopSharingServices", &ShellHooks::stopSharingServices, runtime::AtStartUp()},
          {"restoreDockTile", &ShellHooks::restoreDockTile, runtime::AtStartUp()},
      });
}

}  // namespace shell
