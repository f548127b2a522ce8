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

#include "tests/servers/test_certificates.h"
#include "tests/servers/test_servers.h"

namespace testservers {

class VsftpdServer {
 public:
  struct Options {
    bool require_ssl_reuse = false;  // vsftpd's default is yes: data TLS must resume the control session
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
  const TestIdentity& Identity() const { return identity_; }
  std::string Url(const std::string& scheme, const std::string& path) const;
  bool ok() const { return process_.running(); }

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
  // The file every RETR sends: bytes 0..255 repeated to 10240 bytes.
  static std::string File();

 private:
  std::string dir_;
  int port_ = 0;
  ServerProcess process_;
};

}  // namespace testservers
