#pragma once
// Real servers on 127.0.0.1 for integration tests.
//
// Each server runs in its own temporary folder with a generated configuration, on a
// free high port picked just before it starts; the fixture waits until the port
// accepts connections (bounded, a few seconds at most) and kills the process it started,
// by its PID, when the object goes. Nothing listens beyond loopback.
//
//   nginx          plain HTTP and any number of HTTPS servers, each with its own identity
//                  (self-signed, expired, another host's...), files under WwwDir()
//   tinyproxy      an HTTP proxy with CONNECT to any port, optionally with Basic proxy
//                  authentication
//   scripted       scripted_http_server.py: the faults real servers do not make

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/servers/test_certificates.h"

namespace testservers {

// A port that was free a moment ago, below the ephemeral range.
int FreeLoopbackPort();

// A loopback port that refuses connections: bound but never listening, and held while
// the object lives, so that no server of a test running alongside can take it meanwhile.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }  // 0 when no port could be bound

 private:
  int fd_ = -1;
  int port_ = 0;
};
// Polls until 127.0.0.1:`port` accepts a connection; false after `limit`. The bound is
// generous: on a loaded machine a Python server can take many seconds just to start.
bool WaitUntilAccepting(int port, std::chrono::milliseconds limit = std::chrono::seconds(60));

// A child process killed (SIGTERM, then SIGKILL) and reaped when the object goes.
class ServerProcess {
 public:
  ServerProcess() = default;
  ServerProcess(const std::vector<std::string>& argv, const std::string& log_path);
  ~ServerProcess();
  ServerProcess(ServerProcess&& other) noexcept;
  ServerProcess& operator=(ServerProcess&& other) noexcept;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }
  void Stop();

 private:
  pid_t pid_ = -1;
};

class NginxServer {
 public:
  // `https` names -> identities; each gets its own port. Fails the test when nginx does
  // not come up.
  explicit NginxServer(const std::map<std::string, TestIdentity>& https = {});
  // Files under "/slow/" on the HTTP port are sent at 64 KB/s a connection.
  int HttpPort() const { return http_port_; }
  int HttpsPort(const std::string& name) const { return https_ports_.at(name); }
  const std::string& WwwDir() const { return www_; }
  // One line per request: method, URI, status, referer="..." cookie="..." agent="..."
  // (access.log beside it keeps nginx's combined format).
  std::string HeadersLogPath() const { return dir_ + "/headers.log"; }
  bool ok() const { return process_.running(); }

 private:
  std::string dir_, www_;
  int http_port_ = 0;
  std::map<std::string, int> https_ports_;
  ServerProcess process_;
};

class TinyproxyServer {
 public:
  // With a user, clients must send Basic proxy credentials.
  explicit TinyproxyServer(const std::string& user = "", const std::string& password = "");
  int Port() const { return port_; }
  bool ok() const { return process_.running(); }

 private:
  std::string dir_;
  int port_ = 0;
  ServerProcess process_;
};

class ScriptedHttpServer {
 public:
  static constexpr const char* kUser = "user";
  static constexpr const char* kPassword = "secret";
  static constexpr std::size_t kBodySize = 10240;  // bytes 0..255 repeated

  ScriptedHttpServer();
  int Port() const { return port_; }
  std::string Url(const std::string& path) const;
  bool ok() const { return process_.running(); }
  // The body that "/ok", "/chunked" and the others send whole.
  static std::string Body();

 private:
  std::string dir_;
  int port_ = 0;
  ServerProcess process_;
};

}  // namespace testservers
