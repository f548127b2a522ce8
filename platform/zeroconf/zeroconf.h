#pragma once
// DNS service discovery on the local network: registering a service, browsing for a
// service type, resolving a found service to an IPv4 address and port.
//
// Backed by the Avahi daemon through its client library. The library runs its own thread;
// every callback here is delivered on the main run loop, never after the object that asked
// for it has gone. Start and end everything on the main thread.
//
// Types are given the way peers name them, with the trailing dot ("_trsharing._tcp.");
// domains likewise ("local."); an empty domain means the default domains.
//
// A registration with an empty name takes the host's name. When another service on the
// network already has the name, the registration renames itself ("name #2", ...) and says
// so. Browse results come in bursts: every result but the last of a burst is marked
// moreComing, so that a caller can act once per burst.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zeroconf {

struct RegistrationEvent {
  enum Kind { kRegistered, kRenamed, kFailed } kind = kRegistered;
  std::string name;        // the name the service now has (kRegistered, kRenamed)
  std::int32_t error = 0;  // the daemon's error code (kFailed)
};

class Registration {
 public:
  using Callback = std::function<void(const RegistrationEvent&)>;
  // Nothing (and `error` set) when the daemon cannot be reached or refuses at once.
  static std::unique_ptr<Registration> Register(const std::string& type, const std::string& name,
                                                std::uint16_t port, Callback callback,
                                                std::int32_t* error = nullptr);
  virtual ~Registration() = default;  // withdraws the service
  virtual std::string name() const = 0;
};

struct BrowseEvent {
  bool appeared = true;  // false: went away
  std::string name;
  std::string type;    // with the trailing dot
  std::string domain;  // with the trailing dot
  std::int32_t interfaceIndex = 0;
  bool moreComing = false;
};

class Browser {
 public:
  using Callback = std::function<void(const BrowseEvent&)>;
  static std::unique_ptr<Browser> Browse(const std::string& type, Callback callback,
                                         std::int32_t* error = nullptr);
  virtual ~Browser() = default;
};

class Resolver {
 public:
  // "a.b.c.d:port", or nothing after a failure or the time-out.
  using Callback = std::function<void(const std::optional<std::string>& address)>;
  static std::unique_ptr<Resolver> Resolve(const std::string& name, const std::string& type,
                                           const std::string& domain, std::chrono::milliseconds timeout,
                                           Callback callback);
  virtual ~Resolver() = default;  // cancels
};

// The daemon's name for this host; empty when the daemon cannot be reached.
std::string HostName();

}  // namespace zeroconf
