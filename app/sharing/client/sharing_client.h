#pragma once
// Connections to other copies: one task per connection runs a SharingClientSession over a
// TCP socket and files the peer into the peer-host table (peer_host_record.h).
//
// Each task reports to the main queue with 'S_Cl' kind 3 events: (Par2 1..4: connecting,
// logging in, listing folders, listing items) while it goes on, then (Par2 0, Par3 0) when
// the peer is in the table after a complete session, and always last (Par2 0, Par3 the
// result). Par1 is the request's host id once known, 'Requ' the request's id. A session
// waits at most kSharingClientIdleTimeout for the peer's next bytes.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "app/sharing/client/sharing_client_session.h"
#include "platform/values/fourcc.h"

namespace sharing {

inline constexpr values::FourCharCode kSharingClientEventClass = values::FourCC("S_Cl");
inline constexpr std::uint32_t kSharingClientEventProgress = 3;
inline constexpr auto kSharingClientIdleTimeout = std::chrono::seconds(60);
inline constexpr auto kSharingClientConnectTimeout = std::chrono::seconds(15);
inline constexpr values::FourCharCode kSharingClientRequestParam = values::FourCC("Requ");

// A new request id (never 0).
std::uint64_t NextSharingRequestID();
// Stops the running session of that request (it ends with -4); false when none runs.
bool CancelSharingClient(std::uint64_t requestID);

// Starts a session task; 0 when it started, -1 when no task could be made.
std::int32_t StartSharingClient(SharingClientRequest request);

// Empty user or "guest" connects as "Guest"; without a favourite name one is looked up.
std::int32_t ConnectToSharingPeer(const std::string& address, const std::string& user,
                                  const std::string& password, std::optional<std::string> favouriteName,
                                  std::optional<std::string> bonjourKey);
std::int32_t ConnectToSharingPeerSilently(const std::string& address, const std::string& user,
                                          const std::string& password,
                                          std::optional<std::string> favouriteName,
                                          std::optional<std::string> bonjourKey = std::nullopt);
// Reloads a connected peer that no session is filling; false for an unknown or busy one.
bool RefreshSharingHost(std::uint32_t hostID);
// Refreshes every peer found by Bonjour (true) or reached by address (false).
void ReconnectSharingHosts(bool bonjourPeers);

// Runs one session on the calling thread until it ends; its result. Tests, and the task.
int RunSharingClientSession(SharingClientSession& session);

// Ends every running session (bounded wait); for shut-down.
void CancelSharingClients();
// Sessions running now.
int RunningSharingClients();

}  // namespace sharing
