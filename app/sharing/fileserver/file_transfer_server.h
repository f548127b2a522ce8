#pragma once
// The file-transfer server: an HTTP/1.1 subset on the share port + 1 through which peers
// fetch the finished files of shared downloads and the files received here, from a start
// offset, and send files to this copy (transfer_reception.h), one request per connection. Every request
// carries digest authentication against the sharing users, and may carry a session key (enciphered with this
// copy's server key) that enciphers the data.
//
// Bounded where a peer could make it grow: the request head (kMaxTransferHeadBytes, at most
// kMaxTransferHeaderCount headers; a longer head ends the connection without a reply), the
// number of connections (kMaxTransferConnections; at the limit the oldest connection that
// has not authenticated is closed to make room, and a new one is closed at once when every
// connection has), the time a whole request head may take and the time a peer may stay
// silent or stop reading (both the idle time-out). Only the finished file of
// an item in one of the user's download folders is ever opened, by the item's UID, or a
// complete received file found by its uid in the received-files list: no name a peer sends
// becomes a path to read.
//
// Start and stop from the main thread. Stop ends every connection, sending ones included,
// and waits (bounded) for them.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sharing {

inline constexpr std::size_t kMaxTransferConnections = 64;
inline constexpr char kTransferServerName[] = "Truvane 5 v5070";

struct FileTransferServerOptions {
  std::uint16_t port = 2551;  // 0: any free port (tests)
  bool loopbackOnly = false;
  std::size_t maxConnections = kMaxTransferConnections;
  std::chrono::milliseconds idleTimeout{std::chrono::seconds(45)};
};

class FileTransferServer {
 public:
  struct State;
  // Nothing when the port cannot be bound.
  static std::unique_ptr<FileTransferServer> Start(const FileTransferServerOptions& options);
  ~FileTransferServer();
  FileTransferServer(const FileTransferServer&) = delete;
  FileTransferServer& operator=(const FileTransferServer&) = delete;

  void Stop();
  // Connections accepted from now on are closed without a reply; running ones go on.
  void RefuseNewConnections();
  // Every file being received stops (the peer is told, the package kept for a resume).
  void CancelReceptions();
  std::uint16_t port() const;
  // Connections sending data to a peer, and receiving files from peers, right now.
  std::int32_t runningDownloads() const;
  std::int32_t runningReceptions() const;

 private:
  explicit FileTransferServer(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

// The reply of a canned status (400, 403, 404, 421, any other code gives the 500 reply).
std::string TransferStatusReply(int code);
// The 401 challenge (stale or not) and the 499 reply with a fresh nonce; the 500 reply when
// there is no public key text.
std::string TransferAuthChallengeReply(bool stale, const std::string& publicKey);
std::string TransferBadSessionReply(const std::string& publicKey);
// The start offset of a "Range" header value (only its start is honoured); 0 when none can
// be read or it is negative.
std::int64_t TransferRangeStart(const std::string& range);

// The server of this copy, on "Share port" + 1, while peers may fetch ("Max downloads") or
// send ("Max uploads"). Registers "_utrsharing._tcp." when peers may send and "advertise
// rendezvous" is on. Main thread.
bool StartFileTransferServer();
void StopFileTransferServer();
// At quit, before the running transfers are waited for: no new one starts.
void RefuseFileTransferConnections();
void CancelFileTransferReceptions();
bool FileTransferServerRunning();
// After the preferences were applied: stops the server when sharing is off or no direction
// is allowed, restarts it when the port or the allowed directions changed (registering or
// unregistering "_utrsharing._tcp."), starts it when sharing came on. The limiters take
// new rates with the next request of a connection.
void ApplyFileTransferServerSettings();

// While the server activity window is shown the server posts, once a second, 'TR__' kind 1
// with the bytes sent to peers in the last second ('----', SInt32). Any thread.
void SetServerActivityWindowShown(bool shown);
bool ServerActivityWindowShown();
// Receptions running in this copy's server (0 while it is stopped).
std::int32_t RunningUploadServers();

}  // namespace sharing
