#include "tests/servers/ftp_test_servers.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_home.h"

namespace testservers {
namespace {

// Runs an administration command (arguments quoted for the shell, output to a log);
// true when it exited 0.
bool RunQuietly(const std::vector<std::string>& argv, const std::string& input = "") {
  const std::string log = testsupport::MakeTempDir("cmd") + "/out.log";
  std::string line;
  for (const auto& a : argv) line += "'" + a + "' ";
  if (!input.empty()) line = "printf '%s\\n' '" + input + "' | " + line;
  return std::system((line + ">" + log + " 2>&1").c_str()) == 0;
}

}  // namespace

VsftpdServer::VsftpdServer(const Options& options) {
  char pattern[] = "/tmp/truvane-vsftpd-XXXXXX";
  if (!mkdtemp(pattern)) {
    ADD_FAILURE() << "no temporary folder for vsftpd";
    return;
  }
  dir_ = pattern;
  chmod(dir_.c_str(), 0755);
  home_ = dir_ + "/home";
  std::filesystem::create_directories(home_);
  std::filesystem::create_directories(dir_ + "/empty");
  // One user per fixture: tests in other processes may run side by side.
  user_ = "tvftp" + std::to_string(getpid() % 1000000);
  password_ = "pw-" + std::to_string(getpid());
  RunQuietly({"userdel", user_});
  if (!RunQuietly({"useradd", "-M", "-d", home_, "-s", "/bin/bash", user_}) ||
      !RunQuietly({"chpasswd"}, user_ + ":" + password_)) {
    ADD_FAILURE() << "cannot make the FTP user " << user_;
    return;
  }
  if (const passwd* pw = getpwnam(user_.c_str())) chown(home_.c_str(), pw->pw_uid, pw->pw_gid);

  identity_ = MakeSelfSigned({});
  const std::string chain = WriteIdentity(identity_, dir_, "server");
  port_ = FreeLoopbackPort();
  const int pasv_low = FreeLoopbackPort();
  const std::string conf = dir_ + "/vsftpd.conf";
  std::ofstream(conf)
      << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port_
      << "\nbackground=NO\nanonymous_enable=NO\nlocal_enable=YES\nwrite_enable=YES\n"
      << "pam_service_name=vsftpd\nsecure_chroot_dir=" << dir_ << "/empty\n"
      << "pasv_enable=YES\npasv_min_port=" << pasv_low << "\npasv_max_port=" << pasv_low + 20
      << "\npasv_address=127.0.0.1\nssl_enable=YES\nrsa_cert_file=" << chain
      << "\nrsa_private_key_file=" << dir_ << "/server.key\n"
      << "force_local_logins_ssl=NO\nforce_local_data_ssl=NO\n"
      << "require_ssl_reuse=" << (options.require_ssl_reuse ? "YES" : "NO")
      << "\nseccomp_sandbox=NO\nlocal_umask=022\nconnect_from_port_20=NO\ndelay_failed_login=0\n";
  if (options.max_rate > 0)
    std::ofstream(conf, std::ios::app) << "local_max_rate=" << options.max_rate << "\n";
  if (options.log_protocol) {
    std::ofstream(conf, std::ios::app) << "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
                                       << "vsftpd_log_file=" << dir_ << "/protocol.log\n";
  } else {
    std::ofstream(conf, std::ios::app) << "xferlog_enable=NO\n";
  }
  process_ = ServerProcess({"/usr/sbin/vsftpd", conf}, dir_ + "/vsftpd.log");
  if (!WaitUntilAccepting(port_)) {
    ADD_FAILURE() << "vsftpd did not start: " << testsupport::ReadFile(dir_ + "/vsftpd.log");
    process_.Stop();
  }
}

VsftpdServer::~VsftpdServer() {
  process_.Stop();
  if (!user_.empty()) RunQuietly({"userdel", user_});
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

void VsftpdServer::PutFile(const std::string& name, const std::string& contents) const {
  const std::string path = home_ + "/" + name;
  std::ofstream(path, std::ios::binary) << contents;
  if (const passwd* pw = getpwnam(user_.c_str())) chown(path.c_str(), pw->pw_uid, pw->pw_gid);
}

void VsftpdServer::MakeFolder(const std::string& name) const {
  const std::string path = home_ + "/" + name;
  ::mkdir(path.c_str(), 0755);
  if (const passwd* pw = getpwnam(user_.c_str())) chown(path.c_str(), pw->pw_uid, pw->pw_gid);
}

std::vector<std::string> VsftpdServer::Commands() const {
  // Lines look like: "... [pid 12] [user] FTP command: Client "127.0.0.1", "REST 1000"".
  std::vector<std::string> out;
  std::ifstream in(dir_ + "/protocol.log");
  const std::string marker = "FTP command: Client \"127.0.0.1\", \"";
  for (std::string line; std::getline(in, line);) {
    const std::size_t at = line.find(marker);
    if (at == std::string::npos) continue;
    std::string command = line.substr(at + marker.size());
    if (!command.empty() && command.back() == '"') command.pop_back();
    out.push_back(command);
  }
  return out;
}

std::string VsftpdServer::Url(const std::string& scheme, const std::string& path) const {
  return scheme + "://127.0.0.1:" + std::to_string(port_) + path;
}

ScriptedFtpServer::ScriptedFtpServer(const std::string& scenario) {
  dir_ = testsupport::MakeTempDir("scriptedftp");
  port_ = FreeLoopbackPort();
  process_ =
      ServerProcess({"/usr/bin/python3", std::string(TRUVANE_TEST_SERVERS_DIR) + "/ftp_scripted_server.py",
                     std::to_string(port_), scenario, dir_ + "/commands.log"},
                    dir_ + "/server.log");
  if (!WaitUntilAccepting(port_)) {
    ADD_FAILURE() << "scripted FTP server did not start: " << testsupport::ReadFile(dir_ + "/server.log");
    process_.Stop();
  }
}

std::string ScriptedFtpServer::Url(const std::string& path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + path;
}

std::string ScriptedFtpServer::File() {
  std::string file;
  for (int i = 0; i < 10240; ++i) file.push_back(static_cast<char>((i * 7 + (i >> 8) * 13) & 0xff));
  return file;
}

std::vector<std::string> ScriptedFtpServer::Commands() const {
  std::vector<std::string> out;
  std::ifstream in(dir_ + "/commands.log");
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

}  // namespace testservers
