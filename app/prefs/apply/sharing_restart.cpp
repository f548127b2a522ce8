#include "app/prefs/apply/sharing_restart.h"

#include "app/sharing/discovery/bonjour_discovery.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/server/sharing_server.h"

namespace prefs_window {

SharingRestartPlan DecideSharingRestart(const SharingServerSettings& before,
                                        const SharingServerSettings& after,
                                        const RunningSharingServers& running) {
  SharingRestartPlan plan;
  const bool portChanged = before.port != after.port;
  const bool sharing = after.shareFolders;

  if (!sharing) {
    plan.stopLineServer = running.lineServer;
  } else if (portChanged || !running.lineServer) {
    plan.stopLineServer = running.lineServer;
    plan.startLineServer = true;
  }

  const bool fileServerWanted = sharing && (after.maxDownloads > 0 || after.maxUploads > 0);
  if (!fileServerWanted) {
    plan.stopFileServer = running.fileServer;
    plan.withdrawFileService = running.fileServiceRegistered;
  } else if (portChanged || !running.fileServer) {
    plan.stopFileServer = running.fileServer;
    plan.startFileServer = true;
  }

  // Peers look for the file service only to send files, so it stands while uploads are
  // allowed. A service registered on the old port would send peers to a closed port, so a
  // port change registers it again.
  const bool fileServiceWanted = fileServerWanted && after.maxUploads > 0 && after.advertise;
  bool fileServiceStands = running.fileServiceRegistered && !plan.withdrawFileService;
  if (fileServiceStands && (!fileServiceWanted || portChanged)) {
    plan.withdrawFileService = true;
    fileServiceStands = false;
  }
  if (fileServiceWanted && !fileServiceStands) plan.registerFileService = true;

  if (!after.advertise) {
    plan.withdrawSharingService = true;
    plan.withdrawFileService = plan.withdrawFileService || running.fileServiceRegistered;
    plan.registerFileService = false;
  } else if (sharing) {
    plan.registerSharingService = true;
  }
  return plan;
}

void ApplySharingRestartPlan(const SharingRestartPlan& plan, std::uint16_t port) {
  if (plan.stopLineServer) sharing::StopSharingServer();
  if (plan.stopFileServer) sharing::StopFileTransferServer();
  if (plan.withdrawFileService) sharing::UnregisterFileTransferService();
  if (plan.withdrawSharingService) sharing::UnregisterSharingService();
  if (plan.startLineServer) sharing::StartSharingServer();
  if (plan.startFileServer) sharing::StartFileTransferServer();
  if (plan.registerSharingService && sharing::SharingServerRunning()) sharing::RegisterSharingService(port);
  if (plan.registerFileService && sharing::FileTransferServerRunning()) {
    sharing::RegisterFileTransferService(static_cast<std::uint16_t>(port + 1));
  }
}

}  // namespace prefs_window
