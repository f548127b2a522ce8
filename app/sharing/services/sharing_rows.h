#pragma once
// What the main list reads of peer sharing: the files received from other copies (the
// rows of Received Files), and the peers shown as the root of a remote-host view - a
// copy found by Bonjour, or one reached by address.
//
// The sharing code registers its implementation at start-up; until it is built the
// default knows no received file and no peer.
//
// Main thread only (the implementation enters the peers' region itself).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/service_slot.h"

namespace sharing {

// Received-file statuses.
inline constexpr std::int32_t kReceivedFileReceived = 1;
inline constexpr std::int32_t kReceivedFileReceiving = 3;

class ReceivedFileRow {
 public:
  virtual ~ReceivedFileRow() = default;
  virtual std::optional<std::string> name() const = 0;
  virtual std::int64_t fileSize() const = 0;
  virtual std::int64_t bytesTransferred() const = 0;
  virtual float speed() const = 0;  // KB/s; below 0 while unknown
  virtual std::int32_t status() const = 0;
  virtual double dateReceived() const = 0;  // absolute time; NaN when none
  // "user@host" of the sender (ReceivedFileCopyUserAtHost).
  virtual std::string userAtHost() const = 0;
  virtual std::string remoteHost() const = 0;
  // Whether the file is kept by an alias, so that it can be found again when it moved.
  virtual bool hasAlias() const = 0;
  // The file's path, its alias resolved again (without asking anything) when the file
  // moved; nothing when it is gone.
  virtual std::optional<std::string> UpdatePath() = 0;
};

// A peer reached by address (or the open connection of a Bonjour peer).
class PeerHostRow {
 public:
  virtual ~PeerHostRow() = default;
  virtual std::string address() const = 0;
  virtual std::string user() const = 0;
  virtual std::optional<std::string> bonjourServiceName() const = 0;
};

// A peer found by Bonjour; its connection while logged in.
class BonjourPeerRow {
 public:
  virtual ~BonjourPeerRow() = default;
  virtual std::string serviceName() const = 0;
  virtual std::shared_ptr<PeerHostRow> connection() const = 0;
  // Whether the view showed the connection's root open.
  virtual bool wasOpen() const = 0;
};

using ReceivedFileRowRef = std::shared_ptr<ReceivedFileRow>;

class SharingRowsService {
 public:
  virtual ~SharingRowsService() = default;
  virtual std::vector<ReceivedFileRowRef> ReceivedFilesCopyArray() = 0;
  // The peer registered under a Bonjour name / a peer id (nothing when unknown).
  virtual std::shared_ptr<BonjourPeerRow> PeerForBonjourName(const std::string& name) = 0;
  virtual std::shared_ptr<PeerHostRow> PeerConnectionForID(std::uint32_t peerID) = 0;
  // Every copy found by Bonjour now (this copy's own service never among them).
  virtual std::vector<std::shared_ptr<BonjourPeerRow>> CopyBonjourPeers() { return {}; }
};

class NoSharingRows : public SharingRowsService {
 public:
  std::vector<ReceivedFileRowRef> ReceivedFilesCopyArray() override { return {}; }
  std::shared_ptr<BonjourPeerRow> PeerForBonjourName(const std::string&) override { return nullptr; }
  std::shared_ptr<PeerHostRow> PeerConnectionForID(std::uint32_t) override { return nullptr; }
};

using SharingRowsServiceSlot = runtime::ServiceSlot<SharingRowsService, NoSharingRows>;

}  // namespace sharing
