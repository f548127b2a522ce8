#pragma once
// What the download engine asks of peer sharing when it fetches from another copy's file
// server: the peer's public key ("X-Server-Public-Key" of a reply) checked against the host
// key policy, and a session key for each request made with that key ("X-Session-Key"),
// whose cipher deciphers the body.
//
// Peer sharing registers its implementation at start-up with PeerSessionServiceSlot::Set().
// The default knows no key: the engine then sends no session key, and a server that wants
// one refuses the request.
//
// Called on download tasks; the key check may wait for the user's answer.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/runtime/service_slot.h"

namespace engine {

class PeerSessionCipher {
 public:
  virtual ~PeerSessionCipher() = default;
  // Deciphers in place, keeping the stream position across calls.
  virtual void Apply(std::uint8_t* bytes, std::size_t length) = 0;
};

using PeerKey = std::shared_ptr<const void>;

class PeerSessionService {
 public:
  virtual ~PeerSessionService() = default;
  // The key of `keyText` when the host key policy accepts it for `host`; null when the text
  // is no key or the policy refuses it.
  virtual PeerKey AcceptPeerKey(const std::string& keyText, const std::string& host) = 0;
  // A new session key: its header text in `headerText`, and its cipher; null when none can
  // be made.
  virtual std::unique_ptr<PeerSessionCipher> CreateSession(const PeerKey& key, std::string& headerText) = 0;
  // Whether `host`, which offers no usable key, may be used unenciphered (may ask the user).
  virtual bool AllowUnsecuredConnection(const std::string& host) { return false; }
};

class NoPeerSessions : public PeerSessionService {
 public:
  PeerKey AcceptPeerKey(const std::string&, const std::string&) override { return nullptr; }
  std::unique_ptr<PeerSessionCipher> CreateSession(const PeerKey&, std::string&) override { return nullptr; }
};

using PeerSessionServiceSlot = runtime::ServiceSlot<PeerSessionService, NoPeerSessions>;

}  // namespace engine
