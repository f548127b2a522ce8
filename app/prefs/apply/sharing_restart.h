#pragma once
// What applying the preferences does to the two sharing servers and their Bonjour services.
//
// The line-protocol server listens on the share port, the file server on the port above it;
// each advertises itself on the network. After an apply the servers must match the settings:
// a server whose port changed is restarted (peers connect to the new port) and its service
// registered again, a server no longer wanted is stopped, one wanted but not running is
// started. The decision is a pure function of the settings before and after the apply and
// of what runs now, so it is tested as a table; ApplySharingRestartPlan carries it out.

#include <cstdint>

namespace prefs_window {

// The settings the servers depend on ("Share Folders", "Max downloads", "Max uploads",
// "Share port", "advertise rendezvous").
struct SharingServerSettings {
  bool shareFolders = false;
  std::int32_t maxDownloads = 4;
  std::int32_t maxUploads = 4;
  std::uint16_t port = 2550;
  bool advertise = true;
  bool operator==(const SharingServerSettings&) const = default;
};

struct RunningSharingServers {
  bool lineServer = false;
  bool fileServer = false;
  bool fileServiceRegistered = false;
};

// Stops come before starts; a restart is a stop and a start.
struct SharingRestartPlan {
  bool stopLineServer = false;
  bool startLineServer = false;
  bool stopFileServer = false;
  bool startFileServer = false;
  // The file server's service ("_utrsharing._tcp.") on the port above the share port.
  bool withdrawFileService = false;
  bool registerFileService = false;
  // The line-protocol server's service ("_trsharing._tcp.") on the share port.
  bool withdrawSharingService = false;
  bool registerSharingService = false;
  bool operator==(const SharingRestartPlan&) const = default;
};

SharingRestartPlan DecideSharingRestart(const SharingServerSettings& before,
                                        const SharingServerSettings& after,
                                        const RunningSharingServers& running);

// Carries out the plan with the servers of this copy; the ports come from the settings in
// force (after the reload that follows the save).
void ApplySharingRestartPlan(const SharingRestartPlan& plan, std::uint16_t port);

}  // namespace prefs_window
