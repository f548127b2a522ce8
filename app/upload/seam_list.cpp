#include "app/upload/seam_list.h"

#include "app/upload/services/received_files_archive.h"
#include "app/upload/services/upload_handoff_service.h"
#include "app/upload/services/upload_queue_service.h"
#include "app/upload/services/upload_rows.h"
#include "app/upload/upload_hooks.h"
#include "platform/runtime/seam_list.h"

namespace upload {

void ListSeams() {
  runtime::ListServiceSlot<ReceivedFilesArchiveSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<UploadHandoffServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<UploadQueueServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<UploadRowsServiceSlot>(runtime::AtStartUp());
  runtime::ListHooks<UploadHooksSlot>(
      "upload::UploadHooks",
      {
          {"showMessage", &UploadHooks::showMessage, runtime::AtStartUp()},
          {"postNotice", &UploadHooks::postNotice, runtime::AtStartUp()},
          {"notifyAllUploadsComplete", &UploadHooks::notifyAllUploadsComplete, runtime::AtStartUp()},
          {"armWhenDoneCheck", &UploadHooks::armWhenDoneCheck, runtime::AtStartUp()},
          {"uploadQueueRunning", &UploadHooks::uploadQueueRunning, runtime::AtStartUp()},
          {"postActiveUploadsChange", &UploadHooks::postActiveUploadsChange, runtime::AtStartUp()},
          {"uploadListChanged", &UploadHooks::uploadListChanged, runtime::AtStartUp()},
          {"uploadRowChanged", &UploadHooks::uploadRowChanged, runtime::AtStartUp()},
          {"registerUndoUploadRemoved", &UploadHooks::registerUndoUploadRemoved, runtime::AtStartUp()},
          {"setUndoActionName", &UploadHooks::setUndoActionName, runtime::AtStartUp()},
          {"runClearConfirmation", &UploadHooks::runClearConfirmation, runtime::AtStartUp()},
          {"queueConflictSheet", &UploadHooks::queueConflictSheet, runtime::WithDisplay()},
          {"showAuthFailure", &UploadHooks::showAuthFailure,
           runtime::PendingOn("the uploads' authentication-failure window")},
          {"showEditUpload", &UploadHooks::showEditUpload, runtime::PendingOn("the upload editor")},
          {"showLogWindow", &UploadHooks::showLogWindow, runtime::PendingOn("the upload log window")},
          {"refreshBrowsersAfterUpload", &UploadHooks::refreshBrowsersAfterUpload, runtime::AtStartUp()},
          {"openSendFilesWindow", &UploadHooks::openSendFilesWindow,
           runtime::PendingOn("the send-files window")},
      });
}

}  // namespace upload
