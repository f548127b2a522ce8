#pragma once
// Peer sharing in the shipped program: the queue listed to peers through the sharing
// server's seam, the sharing services in their slots, and the shell's sharing hooks
// (servers at start-up when sharing is on, browsing for peers, everything stopped at quit).

namespace shell {

void InstallSharing();

}  // namespace shell
