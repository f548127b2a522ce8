#pragma once
// A private Secret Service for keychain tests: a session bus of the test's own (a
// dbus-daemon on a socket in a temporary folder) with gnome-keyring's secrets component on
// it, its login keyring made and unlocked with a fixed password inside the test's home.
//
// Construction points DBUS_SESSION_BUS_ADDRESS of this process at the private bus (the
// developer's own session is never reached) and waits, bounded, until the service owns its
// name; both daemons are stopped when the object goes.

#include <string>

#include "tests/servers/test_servers.h"

namespace testservers {

class SecretServiceSession {
 public:
  SecretServiceSession();
  ~SecretServiceSession();
  bool ok() const { return ready_; }
  const std::string& BusAddress() const { return address_; }
  // The service stops answering (its process is stopped; the bus still takes calls for
  // it), as a keyring waiting on its own prompt does; Thaw lets it go on.
  void Freeze();
  void Thaw();

 private:
  std::string dir_, address_;
  ServerProcess bus_;
  ServerProcess keyring_;
  bool ready_ = false;
};

// The one session of the whole test program. GLib keeps its first connection to the
// session bus, and libsecret the service on it, for the life of the process: a session
// one test makes and ends leaves every later test in the program talking to a bus that is
// gone. So every test that reaches a Secret Service from its own process uses this one.
// Made on first use, ended at exit.
SecretServiceSession& SharedSecretServiceSession();

}  // namespace testservers
