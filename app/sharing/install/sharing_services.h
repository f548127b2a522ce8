#pragma once
// Peer sharing as the rest of the program reaches it: the peer table for scripts
// (PeerHostsService) and the peers' rows for the main window (SharingRowsService), and the
// servers and discovery started at start-up and stopped at quit.
//
// Main thread.

namespace sharing {

// Registers the services above in their slots.
void InstallSharingServices();
// The servers of a copy that shares (the settings say whether it does).
void StartSharingServers();
// Browsing for other copies.
void StartBrowsingForPeers();
// Quit: the servers, the sessions, the resolves, browsing and the registrations.
void StopSharingServices();

}  // namespace sharing
