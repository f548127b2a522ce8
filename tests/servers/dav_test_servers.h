#pragma once
// WebDAV servers on 127.0.0.1 for the remote browser's and the uploads' tests.
//
//   lighttpd   a real WebDAV server (mod_webdav: PROPFIND, MKCOL, PUT, COPY, MOVE,
//              DELETE), on plain http and on https with a chosen identity, with Basic or
//              Digest authentication (mod_auth, one user) or none. Files under DavDir().
//              Recipe: `lighttpd -D -f lighttpd.conf` with
//                server.modules = ("mod_webdav", "mod_auth", "mod_authn_file", "mod_openssl")
//                server.bind = "127.0.0.1"  server.port = PORT  server.document-root = DIR
//                webdav.activate = "enable"  webdav.is-readonly = "disable"
//                webdav.opts = ("deprecated-unsafe-partial-put" => "enable")   (PUT with Content-Range)
//                auth.backend = "htdigest"   auth.backend.htdigest.userfile = FILE
//                auth.require = ("/" => ("method" => "digest", "realm" => R, "require" => "valid-user"))
//                $SERVER["socket"] == "127.0.0.1:PORT2" { ssl.engine = "enable" ssl.pemfile = ... }
//   scripted   scripted_dav_server.py: the replies real servers do not give (a refused
//              OPTIONS, a reset after or inside a reply, endless challenges, 412 to
//              "Overwrite: F", a reply that is not XML, listings naming places outside
//              the root), logging every request it reads.

#include <string>
#include <vector>

#include "tests/servers/test_certificates.h"
#include "tests/servers/test_servers.h"

namespace testservers {

class LighttpdDavServer {
 public:
  enum class Auth { kNone, kBasic, kDigest };
  static constexpr const char* kUser = "member";
  static constexpr const char* kPassword = "dav secret";
  static constexpr const char* kRealm = "truvane dav";

  // With an identity, an https port is opened beside the http one. `publicPrefix`, when
  // not empty, is a path that anyone may read without credentials.
  explicit LighttpdDavServer(Auth auth = Auth::kNone, const TestIdentity* https = nullptr,
                             const std::string& publicPrefix = {});
  int HttpPort() const { return http_port_; }
  int HttpsPort() const { return https_port_; }
  // "127.0.0.1:port" of the plain or the TLS side.
  std::string HostPort(bool secure = false) const;
  const std::string& DavDir() const { return www_; }
  // The requests answered so far, one line each: method, path (escaped), status.
  std::vector<std::string> Requests() const;
  bool ok() const { return process_.running(); }

 private:
  std::string dir_, www_;
  int http_port_ = 0, https_port_ = 0;
  ServerProcess process_;
};

class ScriptedDavServer {
 public:
  static constexpr const char* kUser = "user";
  static constexpr const char* kPassword = "secret";

  ScriptedDavServer();
  int Port() const { return port_; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  bool ok() const { return process_.running(); }

  struct Request {
    std::string method, path;
    std::string authorization, overwrite, destination, depth;
  };
  // Every request read so far, in order.
  std::vector<Request> Requests() const;

 private:
  std::string dir_;
  int port_ = 0;
  ServerProcess process_;
};

}  // namespace testservers
