#include "tests/servers/secret_service_session.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/support/temp_home.h"

namespace testservers {
namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

bool NameOwned(const std::string& address) {
  const std::string command = "dbus-send --bus='" + address +
                              "' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                              "org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null "
                              "| grep -q 'boolean true'";
  return std::system(command.c_str()) == 0;
}

}  // namespace

SecretServiceSession::SecretServiceSession() {
  dir_ = testsupport::MakeTempDir("secrets");
  const std::string socket = dir_ + "/bus.sock";
  testsupport::WriteFile(dir_ + "/bus.conf",
                         "<busconfig><type>session</type><listen>unix:path=" + socket +
                             "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n");
  testsupport::WriteFile(dir_ + "/password", "keyring-test-password");
  address_ = "unix:path=" + socket;
  bus_ = ServerProcess(
      {"/usr/bin/dbus-daemon", "--config-file=" + dir_ + "/bus.conf", "--nofork", "--nopidfile"},
      dir_ + "/bus.log");
  const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
  while (::access(socket.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
  // --unlock reads the login keyring's password from standard input.
  keyring_ = ServerProcess(
      {"/bin/sh", "-c",
       "exec gnome-keyring-daemon --foreground --unlock --components=secrets < '" + dir_ + "/password'"},
      dir_ + "/keyring.log");
  while (std::chrono::steady_clock::now() < deadline) {
    if (NameOwned(address_)) {
      ready_ = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void SecretServiceSession::Freeze() {
  if (keyring_.running()) ::kill(keyring_.pid(), SIGSTOP);
}

void SecretServiceSession::Thaw() {
  if (keyring_.running()) ::kill(keyring_.pid(), SIGCONT);
}

SecretServiceSession::~SecretServiceSession() {
  Thaw();
  keyring_.Stop();
  bus_.Stop();
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

SecretServiceSession& SharedSecretServiceSession() {
  static const std::unique_ptr<SecretServiceSession> session = std::make_unique<SecretServiceSession>();
  return *session;
}

}  // namespace testservers
