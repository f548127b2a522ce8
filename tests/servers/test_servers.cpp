#include "tests/servers/test_servers.h"

#include <chrono>
#include <random>

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/temp_home.h"

extern char** environ;

namespace testservers {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

std::string FindProgram(const std::vector<std::string>& candidates) {
  for (const auto& c : candidates)
    if (access(c.c_str(), X_OK) == 0) return c;
  return {};
}

}  // namespace

// Ports for test servers come from below the kernel's range of ephemeral ports: a port
// the kernel handed out for a moment would otherwise be free game for the next outgoing
// connection of a test running beside this one, and the server would then fail to bind.
// The picks are random so that tests running side by side rarely try the same one, and
// each is checked to be free right now. Room is left above each for FTP passive ranges.
int FreeLoopbackPort() {
  static std::mt19937 generator(
      static_cast<unsigned>(getpid()) ^
      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::uniform_int_distribution<int> pick(20000, 32000);
  for (int attempt = 0; attempt < 200; ++attempt) {
    const int port = pick(generator);
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) break;
    sockaddr_in a = Loopback(port);
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (free) return port;
  }
  // Fall back to one the kernel chooses.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(0);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

RefusingPort::RefusingPort() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  for (int attempt = 0; attempt < 200 && port_ == 0; ++attempt) {
    const int port = FreeLoopbackPort();
    sockaddr_in a = Loopback(port);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) port_ = port;
  }
}

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) close(fd_);
}

bool WaitUntilAccepting(int port, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// ---- ServerProcess

ServerProcess::ServerProcess(const std::vector<std::string>& argv, const std::string& log_path) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) pid_ = pid;
  posix_spawn_file_actions_destroy(&actions);
}

ServerProcess::~ServerProcess() {
  Stop();
}

ServerProcess::ServerProcess(ServerProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ServerProcess& ServerProcess::operator=(ServerProcess&& other) noexcept {
  if (this != &other) {
    Stop();
    pid_ = std::exchange(other.pid_, -1);
  }
  return *this;
}

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  // nginx's master stops its workers on SIGTERM; give it a moment, then insist.
  for (int i = 0; i < 200; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

// ---- nginx

NginxServer::NginxServer(const std::map<std::string, TestIdentity>& https) {
  dir_ = testsupport::MakeTempDir("nginx");
  www_ = dir_ + "/www";
  std::filesystem::create_directories(www_);
  std::filesystem::create_directories(dir_ + "/tmp");
  http_port_ = FreeLoopbackPort();
  // Files under /slow/ come at 64 KB/s a connection: long enough for a test to stop or
  // watch a download midway.
  std::string servers = "  server { listen 127.0.0.1:" + std::to_string(http_port_) + "; root " + www_ +
                        "; location /slow/ { limit_rate 64k; } }\n";
  for (const auto& [name, identity] : https) {
    const int port = FreeLoopbackPort();
    https_ports_[name] = port;
    const std::string chain = WriteIdentity(identity, dir_, name);
    servers += "  server { listen 127.0.0.1:" + std::to_string(port) + " ssl; ssl_certificate " + chain +
               "; ssl_certificate_key " + dir_ + "/" + name + ".key; root " + www_ + "; }\n";
  }
  const std::string d = dir_;
  const std::string conf =
      std::string("daemon off;\n") + (geteuid() == 0 ? "user root;\n" : "") + "worker_processes 1;\npid " +
      d + "/nginx.pid;\nerror_log " + d +
      "/error.log;\nevents { worker_connections 256; }\nhttp {\n"
      "  log_format withheaders '$request_method $request_uri $status referer=\"$http_referer\" "
      "cookie=\"$http_cookie\" agent=\"$http_user_agent\"';\n  access_log " +
      d + "/access.log;\n  access_log " + d + "/headers.log withheaders;\n  client_body_temp_path " + d +
      "/tmp/body;\n  proxy_temp_path " + d + "/tmp/proxy;\n  fastcgi_temp_path " + d +
      "/tmp/fcgi;\n  uwsgi_temp_path " + d + "/tmp/uwsgi;\n  scgi_temp_path " + d +
      "/tmp/scgi;\n  types { application/octet-stream bin; text/plain txt; text/html html; application/zip "
      "zip; }\n  sendfile "
      "on;\n" +
      servers + "}\n";
  testsupport::WriteFile(d + "/nginx.conf", conf);
  const std::string nginx = FindProgram({"/usr/sbin/nginx", "/usr/bin/nginx"});
  if (nginx.empty()) {
    ADD_FAILURE() << "nginx is not installed (scripts/setup.sh installs it)";
    return;
  }
  process_ =
      ServerProcess({nginx, "-e", d + "/stderr.log", "-p", d, "-c", d + "/nginx.conf"}, d + "/stdout.log");
  bool up = WaitUntilAccepting(http_port_);
  for (const auto& [name, port] : https_ports_) up = up && WaitUntilAccepting(port);
  if (!up) {
    ADD_FAILURE() << "nginx did not start: " << testsupport::ReadFile(d + "/error.log");
    process_.Stop();
  }
}

// ---- tinyproxy

TinyproxyServer::TinyproxyServer(const std::string& user, const std::string& password) {
  dir_ = testsupport::MakeTempDir("tinyproxy");
  port_ = FreeLoopbackPort();
  std::string conf =
      "Port " + std::to_string(port_) +
      "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 50\nLogLevel Info\nLogFile \"" + dir_ +
      "/tinyproxy.log\"\nPidFile \"" + dir_ + "/tinyproxy.pid\"\nDisableViaHeader Yes\n";
  // No ConnectPort line: CONNECT may reach any port (the test servers use high ones).
  if (!user.empty()) conf += "BasicAuth " + user + " " + password + "\n";
  testsupport::WriteFile(dir_ + "/tinyproxy.conf", conf);
  const std::string tinyproxy = FindProgram({"/usr/bin/tinyproxy", "/usr/sbin/tinyproxy"});
  if (tinyproxy.empty()) {
    ADD_FAILURE() << "tinyproxy is not installed (scripts/setup.sh installs it)";
    return;
  }
  process_ = ServerProcess({tinyproxy, "-d", "-c", dir_ + "/tinyproxy.conf"}, dir_ + "/stdout.log");
  if (!WaitUntilAccepting(port_)) {
    ADD_FAILURE() << "tinyproxy did not start: " << testsupport::ReadFile(dir_ + "/stdout.log");
    process_.Stop();
  }
}

// ---- scripted server

ScriptedHttpServer::ScriptedHttpServer() {
  dir_ = testsupport::MakeTempDir("scripted");
  port_ = FreeLoopbackPort();
  const std::string python = FindProgram({"/usr/bin/python3", "/usr/local/bin/python3"});
  if (python.empty()) {
    ADD_FAILURE() << "python3 is not installed";
    return;
  }
  process_ = ServerProcess(
      {python, std::string(TRUVANE_TEST_SERVERS_DIR) + "/scripted_http_server.py", std::to_string(port_)},
      dir_ + "/server.log");
  if (!WaitUntilAccepting(port_)) {
    ADD_FAILURE() << "scripted server did not start: " << testsupport::ReadFile(dir_ + "/server.log");
    process_.Stop();
  }
}

std::string ScriptedHttpServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string ScriptedHttpServer::Body() {
  std::string body;
  body.reserve(kBodySize);
  for (std::size_t i = 0; i < kBodySize; ++i) body.push_back(static_cast<char>(i & 0xff));
  return body;
}

}  // namespace testservers
