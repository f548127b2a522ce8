#pragma once
// FTP servers on 127.0.0.1 for integration tests.
//
//   vsftpd    a real server with a local user of its own (made for the fixture and
//             removed with it) and explicit FTPS; the user's home is FilesDir()
//   scripted  ftp_scripted_server.py: replies real servers do not give (see the script)
//
// vsftpd runs as root and becomes the user, so the user's home lives in a folder of
// its own under /tmp that the user can reach (the tests' temporary home is private).

#include <string>
#include <vector>

#include "tests/servers/test_certificates.h"
#include "tests/servers/test_servers.h"

namespace testservers {

class VsftpdServer {
 public:
  struct Options {
    bool require_ssl_reuse = false;  // vsftpd's default is yes: data TLS must resume the control session
    int max_rate = 0;                // bytes per second per session; 0: unlimited
    bool log_protocol = false;       // every command and reply into ProtocolLog()
  };
  explicit VsftpdServer(const Options& options);
  VsftpdServer() : VsftpdServer(Options{}) {}
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  int Port() const { return port_; }
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }
  // The user's home (its login directory).
  const std::string& FilesDir() const { return home_; }
  // Writes a file into the home, owned by the user.
  void PutFile(const std::string& name, const std::string& contents) const;
  // Makes a folder in the home (its parents must exist), owned by the user.
  void MakeFolder(const std::string& name) const;
  const TestIdentity& Identity() const { return identity_; }
  std::string Url(const std::string& scheme, const std::string& path) const;
  bool ok() const { return process_.running(); }
  // The commands the clients sent ("REST 1000", "RETR f"...), in order, with log_protocol.
  std::vector<std::string> Commands() const;

 private:
  std::string dir_, home_, user_, password_;
  int port_ = 0;
  TestIdentity identity_;
  ServerProcess process_;
};

class ScriptedFtpServer {
 public:
  explicit ScriptedFtpServer(const std::string& scenario);
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  bool ok() const { return process_.running(); }
  // The file every RETR sends: 10240 bytes in which no 256-byte block repeats.
  static std::string File();
  // The commands received so far, in order, over all connections.
  std::vector<std::string> Commands() const;

 private:
  std::string dir_;
  int port_ = 0;
  ServerProcess process_;
};

}  // namespace testservers
