#include "app/shell/upload_startup.h"

#include "app/browser/ftp/upload_refresh.h"
#include "app/browser/services/dav_upload_hooks.h"
#include "app/browser/services/ftp_upload_hooks.h"
#include "app/engine/limits/limit_settings.h"
#include "app/queue/events/completion.h"
#include "app/queue/folders/displayed_views.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/undo/truvane_undo.h"
#include "app/queue/undo/undoable_action.h"
#include "app/shell/confirmation_alerts.h"
#include "app/shell/message_window.h"
#include "app/shell/shell_hooks.h"
#include "app/ui/main_window/main_window.h"
#include "app/ui/services/main_list_services.h"
#include "app/ui/upload_windows/upload_conflict_sheet.h"
#include "app/upload/engine/upload_engine.h"
#include "app/upload/events/upload_event_handler.h"
#include "app/upload/interface/upload_interface.h"
#include "app/upload/queue/upload_queue.h"
#include "app/upload/queue/uploads_file.h"
#include "app/upload/upload_hooks.h"
#include "platform/toolbox/app/application.h"
#include "platform/values/localize.h"

namespace shell {

runtime::HandlerRef InstallUploads() {
  upload::InstallUploadServices();

  auto& hooks = upload::UploadHooksSlot::Get();
  hooks.showMessage = [](const std::string& text) { ShowMessageWindow(nullptr, "%@", {text}); };
  hooks.postNotice = [](const values::Dictionary& notice) { queue::PostQueueNotice(notice); };
  hooks.notifyAllUploadsComplete = [] {
    queue::PostQueueNotice({{"ApplicationName", values::Value("Truvane")},
                            {"NotificationName", values::Value("All Uploads Finished")},
                            {"NotificationTitle", values::Value(values::Localized("All uploads complete"))}});
  };
  hooks.armWhenDoneCheck = [] { queue::ArmWhenDoneCheck(false); };
  hooks.uploadQueueRunning = [] { return queue::gUploadQueueRunning; };
  // The My Uploads badge in the source list follows the active uploads.
  hooks.postActiveUploadsChange = [] { ui::PostActiveUploadsChange(); };
  // The remote browser's folders that show where a finished upload went are listed again.
  hooks.refreshBrowsersAfterUpload = [](const std::shared_ptr<upload::UploadItem>& item) {
    browser::RefreshBrowsersAfterUpload(item->type, item->hostName, item->uploadPath);
  };
  hooks.uploadListChanged = [] {
    if (queue::IsDisplayingUploads()) ui::MainListServicesSlot::Get().RefillMainList();
  };
  hooks.uploadRowChanged = [](const std::shared_ptr<upload::UploadItem>&) {
    if (queue::IsDisplayingUploads()) ui::MainListServicesSlot::Get().RequestRedisplayCurrentFolder();
  };
  hooks.registerUndoUploadRemoved = [](const std::shared_ptr<void>& item, std::uint32_t oldIndex,
                                       bool trashed) {
    queue::RegisterUndoUploadRemoved(item, oldIndex, trashed);
  };
  hooks.setUndoActionName = [](const std::string& name) { queue::TruvaneUndoSetActionName(name); };
  hooks.runClearConfirmation = [](int kind) {
    switch (RunConfirmationAlert(kind, true)) {
      case kConfirmMoveToTrash:
        return 1;
      case kConfirmKeepFiles:
        return 2;
      default:
        return 0;
    }
  };

  // With a display the file-exists question waits for the person in a sheet; headless
  // runs keep the unattended answer.
  if (!toolbox::Application::Shared().IsOffscreen()) {
    hooks.queueConflictSheet = [](const upload::UploadConflictQuestion& question) {
      ui::QueueUploadConflictSheet(question);
    };
  }

  // A hook a test installed to record the call stays.
  auto& shellHooks = ShellHooksSlot::Get();
  auto install = [](auto& hook, auto function) {
    if (!hook) hook = function;
  };
  install(shellHooks.loadUploadQueue, [] { upload::LoadUploadQueue(); });
  install(shellHooks.saveUploadQueue, [] { upload::SaveUploadQueue(); });
  install(shellHooks.uploadsChanged, [] { return upload::gUploadQueueDirty; });
  install(shellHooks.activeUploadCount,
          [] { return static_cast<std::int32_t>(upload::Uploads().activeUploads.size()); });
  install(shellHooks.waitingUploadCount,
          [] { return static_cast<std::int32_t>(upload::Uploads().queueOrder.size()); });
  install(shellHooks.startNextUpload, [] { upload::StartNextUpload(); });
  install(shellHooks.cancelActiveUploads, [] {
    for (const auto& item : upload::Uploads().activeUploads) {
      if (item->controller) item->controller->Cancel();
    }
  });
  install(shellHooks.runningUploads, [] { return upload::RunningUploadTaskCount(); });

  return upload::InstallUploadEventHandler(*runtime::EventTarget::Application());
}

void InstallFTPBrowserUploads() {
  // A file dropped onto a remote folder becomes an upload of the connection's host type.
  browser::FTPUploadHooksSlot::Get().uploadAliasToFTPNode = [](const std::string& path,
                                                               const browser::FTPUploadTarget& target) {
    return upload::UploadItemCreateAndEnqueue(
               path, target.host, std::nullopt, target.user, target.password, target.path,
               target.secure ? upload::kHostTypeFTPS : upload::kHostTypeFTP) != nullptr;
  };
  // The same for a folder of an online disk or a WebDAV server.
  browser::DAVUploadHooksSlot::Get().uploadAliasToDAVNode = [](const std::string& path,
                                                               const browser::DAVUploadTarget& target) {
    return upload::UploadItemCreateAndEnqueue(path, target.host, std::nullopt, target.user, target.password,
                                              target.path, target.hostType) != nullptr;
  };
}

}  // namespace shell
