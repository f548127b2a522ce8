#include "app/sharing/seam_list.h"

#include "app/sharing/received/received_files.h"
#include "app/sharing/services/host_key_question_service.h"
#include "app/sharing/services/peer_hosts_service.h"
#include "app/sharing/services/received_file_service.h"
#include "app/sharing/services/received_files_service.h"
#include "app/sharing/services/shared_listing_service.h"
#include "app/sharing/services/sharing_rows.h"
#include "platform/runtime/seam_list.h"

namespace sharing {

void ListSeams() {
  runtime::ListServiceSlot<HostKeyQuestionServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<PeerHostsServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<ReceivedFileServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<ReceivedFilesServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<SharedListingServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<SharedReceivedFilesSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<SharingRowsServiceSlot>(runtime::AtStartUp());
  runtime::ListHooks<ReceivedFileHooksSlot>(
      "sharing::ReceivedFileHooks",
      {
          {"registerUndoRemoved", &ReceivedFileHooks::registerUndoRemoved, runtime::AtStartUp()},
          {"listChanged", &ReceivedFileHooks::listChanged, runtime::AtStartUp()},
      });
}

}  // namespace sharing
