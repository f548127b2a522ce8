#include "tests/servers/dav_test_servers.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "tests/support/temp_home.h"

namespace testservers {

namespace {

std::string FindFirst(const std::vector<std::string>& candidates) {
  for (const auto& c : candidates) {
    if (access(c.c_str(), X_OK) == 0) return c;
  }
  return {};
}

std::string Md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out.push_back(hex[digest[i] >> 4]);
    out.push_back(hex[digest[i] & 15]);
  }
  return out;
}

}  // namespace

LighttpdDavServer::LighttpdDavServer(Auth auth, const TestIdentity* https, const std::string& publicPrefix) {
  dir_ = testsupport::MakeTempDir("lighttpd");
  www_ = dir_ + "/www";
  std::filesystem::create_directories(www_);
  std::filesystem::create_directories(dir_ + "/tmp");
  http_port_ = FreeLoopbackPort();
  const std::string d = dir_;
  std::string conf = "server.modules = (\"mod_webdav\", \"mod_auth\", \"mod_authn_file\"" +
                     std::string(https ? ", \"mod_openssl\"" : "") +
                     ")\n"
                     "server.bind = \"127.0.0.1\"\n"
                     "server.port = " +
                     std::to_string(http_port_) + "\nserver.document-root = \"" + www_ +
                     "\"\nserver.errorlog = \"" + d + "/error.log\"\nserver.pid-file = \"" + d +
                     "/lighttpd.pid\"\nserver.upload-dirs = (\"" + d +
                     "/tmp\")\n"
                     "mimetype.assign = (\"\" => \"application/octet-stream\")\n"
                     "accesslog.filename = \"" +
                     d +
                     "/access.log\"\naccesslog.format = \"%m %U %>s\"\n"
                     "webdav.activate = \"enable\"\nwebdav.is-readonly = \"disable\"\n"
                     // A PUT with a Content-Range writes into the file: uploads resume so.
                     "webdav.opts = (\"deprecated-unsafe-partial-put\" => \"enable\")\n";
  if (auth != Auth::kNone) {
    testsupport::WriteFile(d + "/htdigest", std::string(kUser) + ":" + kRealm + ":" +
                                                Md5Hex(std::string(kUser) + ":" + kRealm + ":" + kPassword) +
                                                "\n");
    const std::string method = auth == Auth::kBasic ? "basic" : "digest";
    conf += "auth.backend = \"htdigest\"\nauth.backend.htdigest.userfile = \"" + d + "/htdigest\"\n";
    const std::string require = "auth.require = (\"/\" => (\"method\" => \"" + method +
                                "\", \"realm\" => \"" + kRealm + "\", \"require\" => \"valid-user\"))\n";
    if (publicPrefix.empty()) {
      conf += require;
    } else {
      // Anyone may read the public folder; every other place, and any change, needs the user.
      conf += "$HTTP[\"url\"] !~ \"^" + publicPrefix + "($|/)\" {\n  " + require + "}\n";
      conf += "else $HTTP[\"request-method\"] !~ \"^(GET|HEAD|OPTIONS|PROPFIND)$\" {\n  " + require + "}\n";
    }
  }
  if (https) {
    https_port_ = FreeLoopbackPort();
    const std::string chain = WriteIdentity(*https, d, "server");
    conf += "$SERVER[\"socket\"] == \"127.0.0.1:" + std::to_string(https_port_) +
            "\" {\n  ssl.engine = \"enable\"\n  ssl.pemfile = \"" + chain + "\"\n  ssl.privkey = \"" + d +
            "/server.key\"\n}\n";
  }
  testsupport::WriteFile(d + "/lighttpd.conf", conf);
  const std::string lighttpd = FindFirst({"/usr/sbin/lighttpd", "/usr/bin/lighttpd"});
  if (lighttpd.empty()) {
    ADD_FAILURE() << "lighttpd is not installed (scripts/setup.sh installs it)";
    return;
  }
  process_ = ServerProcess({lighttpd, "-D", "-f", d + "/lighttpd.conf"}, d + "/stdout.log");
  bool up = WaitUntilAccepting(http_port_);
  if (https) up = up && WaitUntilAccepting(https_port_);
  if (!up) {
    ADD_FAILURE() << "lighttpd did not start: " << testsupport::ReadFile(d + "/stdout.log")
                  << testsupport::ReadFile(d + "/error.log");
    process_.Stop();
  }
}

std::vector<std::string> LighttpdDavServer::Requests() const {
  std::vector<std::string> out;
  std::istringstream in(testsupport::ReadFile(dir_ + "/access.log"));
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string LighttpdDavServer::HostPort(bool secure) const {
  return "127.0.0.1:" + std::to_string(secure ? https_port_ : http_port_);
}

ScriptedDavServer::ScriptedDavServer() {
  dir_ = testsupport::MakeTempDir("scripteddav");
  port_ = FreeLoopbackPort();
  const std::string python = FindFirst({"/usr/bin/python3", "/usr/local/bin/python3"});
  if (python.empty()) {
    ADD_FAILURE() << "python3 is not installed";
    return;
  }
  process_ = ServerProcess({python, std::string(TRUVANE_TEST_SERVERS_DIR) + "/scripted_dav_server.py",
                            std::to_string(port_), dir_ + "/requests.log"},
                           dir_ + "/server.log");
  if (!WaitUntilAccepting(port_)) {
    ADD_FAILURE() << "scripted WebDAV server did not start: " << testsupport::ReadFile(dir_ + "/server.log");
    process_.Stop();
  }
}

std::vector<ScriptedDavServer::Request> ScriptedDavServer::Requests() const {
  // One request a line: fields separated by tabs, in the order of Request.
  std::vector<Request> out;
  std::istringstream in(testsupport::ReadFile(dir_ + "/requests.log"));
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::size_t start = 0;
    while (true) {
      const auto tab = line.find('\t', start);
      f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    f.resize(6);
    out.push_back({f[0], f[1], f[2], f[3], f[4], f[5]});
  }
  return out;
}

}  // namespace testservers
