#include "app/engine/seam_list.h"

#include "app/engine/services/download_engine_services.h"
#include "app/engine/services/peer_session_service.h"
#include "app/engine/services/transfer_log_records.h"
#include "app/engine/services/transfer_log_window_service.h"
#include "app/engine/services/trust_panel.h"
#include "app/engine/services/volume_mounter.h"
#include "platform/runtime/seam_list.h"

namespace engine {

void ListSeams() {
  runtime::ListServiceSlot<DownloadEngineServicesSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<PeerSessionServiceSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<TransferLogRecordsSlot>(runtime::AtStartUp());
  runtime::ListServiceSlot<TransferLogWindowServiceSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<TrustPanelSlot>(runtime::WithDisplay());
  runtime::ListServiceSlot<VolumeMounterSlot>(
      runtime::DefaultServes("this system has no AFP client: an afp download fails as unsupported"));
}

}  // namespace engine
