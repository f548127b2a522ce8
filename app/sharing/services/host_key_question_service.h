#pragma once
// The question the host-key policy puts to the user: a peer's server key that is new or
// changed, or a peer that offers no usable key (an unsecured connection). Asked from a
// worker task, which blocks until the answer.
//
// The default answers Cancel without asking: a key nobody looked at is not trusted, and
// no connection goes on unenciphered. Start-up installs the one that asks through the
// toolbox; a run without a display keeps that answer.

#include <string>

#include "platform/runtime/service_slot.h"

namespace sharing {

struct HostKeyQuestion {
  std::string host;
  std::string fingerprint;  // empty for the unsecured-connection question
  int policy = 0;           // 2 unknown host, 4 changed key (the policy result asked about)
};

struct HostKeyAnswer {
  bool ok = false;  // false: Cancel, nothing changes
  // Unknown host: from now on accept and remember every new host's key.
  bool alwaysAcceptUnknownHosts = false;
  // Changed key: trust the new key until the program quits only.
  bool acceptNewKeyForOneSessionOnly = false;
  // Unsecured connection: allow it beyond this session ...
  bool alwaysAcceptUnsecuredConnections = false;
  // ... for this host only (else for every host).
  bool unsecuredConnectionsSpecifiedHostOnly = false;
};

class HostKeyQuestionService {
 public:
  virtual ~HostKeyQuestionService() = default;
  // Any thread but the main one; blocks until the user answers.
  virtual HostKeyAnswer Ask(const HostKeyQuestion& question) = 0;
};

class UnaskedHostKeyQuestions : public HostKeyQuestionService {
 public:
  HostKeyAnswer Ask(const HostKeyQuestion&) override { return {}; }
};

using HostKeyQuestionServiceSlot = runtime::ServiceSlot<HostKeyQuestionService, UnaskedHostKeyQuestions>;

}  // namespace sharing
