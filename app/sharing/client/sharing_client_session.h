#pragma once
// The client side of one sharing session, without the socket: bytes from the peer in,
// bytes for the peer out, the peer's folders and items filled into a PeerHostRecord.
//
// States: 1 greeting, 2 login reply, 5 key reply, 4 session-key reply, 3 name reply,
// 7 folders, 8 items, 9 received files, 10 done. Each reply is awaited whole before the
// next command goes out, and every wait is bounded: a reply that grows past its limit
// without the line or record it needs fails the session.
//
// A peer that offers a server key must have it trusted by the host-key policy; a key that
// is refused ends the session (no falling back to an unenciphered session with a peer
// that may be an impostor). Only a peer that offers no key at all is put to the
// unsecured-connection question.
//
// Results: -5 success, -4 cancelled or refused by the user, -3 login refused, -2 protocol
// error, -6 unsecured connection refused by the stored policy, -1 any other failure (and
// every failure of a silent session).

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "app/sharing/client/peer_host_record.h"
#include "app/sharing/crypto/session_key.h"

namespace sharing {

inline constexpr int kSharingSuccess = -5;
inline constexpr int kSharingCancelled = -4;
inline constexpr int kSharingLoginRefused = -3;
inline constexpr int kSharingProtocolError = -2;
inline constexpr int kSharingUnsecuredRefused = -6;
inline constexpr int kSharingFailed = -1;

struct SharingClientRequest {
  std::string address;  // "host:port" (port 2550 when missing)
  std::string user;
  std::string password;
  std::uint32_t hostID = 0;  // an existing record to refresh, or 0 for a new peer
  // Names the connection in its events ('Requ'), so that the window that started it finds
  // it again; 0 for a connection that no window follows.
  std::uint64_t requestID = 0;
  std::optional<std::string> bonjourKey;
  std::optional<std::string> favouriteName;
  bool silent = false;
};

// "host:port" split; the port 2550 when there is none or it does not parse.
void SplitPeerAddress(const std::string& address, std::string& host, std::int32_t& port);

// What the session asks of the host-key policy (host_policy_manager.h by default).
struct SharingClientPolicy {
  std::function<bool(const std::string& fingerprint, const std::string& address)> checkKey;
  // Whether to go on unenciphered; `asked` whether the user was asked.
  std::function<bool(const std::string& address, bool& asked)> allowUnsecured;
  static SharingClientPolicy Default();
};

class SharingClientSession {
 public:
  SharingClientSession(SharingClientRequest request,
                       SharingClientPolicy policy = SharingClientPolicy::Default());
  ~SharingClientSession();
  SharingClientSession(const SharingClientSession&) = delete;
  SharingClientSession& operator=(const SharingClientSession&) = delete;

  // Takes bytes as read; appends the bytes to send to `out`. Nothing while the session
  // goes on; its result once it has ended.
  std::optional<int> Receive(std::span<const std::uint8_t> bytes, std::string& out);

  int state() const { return state_; }
  // The record being filled: made at a successful login (null before).
  const PeerHostRef& record() const { return record_; }
  const SharingClientRequest& request() const { return request_; }
  // Reports the step reached (2 greeting, 3 name, 4 folders and again items), for the
  // progress display.
  std::function<void(int step)> onProgress;

 private:
  std::optional<int> Step(std::string& out);
  std::optional<int> Fail(int code);
  std::optional<int> Listing(std::string& out);
  void Send(std::string text, std::string& out);
  void EndFolder();
  void EndItem();
  void SetField(std::string_view name, std::string_view value);

  SharingClientRequest request_;
  SharingClientPolicy policy_;
  int state_ = 1;
  bool firstLineSeen_ = false;
  std::string buffer_;
  PeerHostRef record_;
  SessionCipherPtr cipher_;
  std::string host_;
  std::int32_t port_ = 0;
  // The record being parsed.
  PeerFolder folder_;
  PeerItem item_;
  bool itemHasURL_ = false;
  bool itemHasFolder_ = false;
  std::uint32_t nextReceivedUID_ = 1;
};

}  // namespace sharing
