#pragma once
// The network side of an FTP connection: TCP streams of the network layer on the current
// thread's run loop, a TLS stream wrapped around the control connection after "AUTH TLS"
// and around each protected data connection, a listening socket for active mode.
//
// Control connection: connected to the URL's host and port (21 by default, for "ftps"
// too: explicit TLS runs on the ordinary port). Its TLS handshake has a deadline; a
// server that stalls it fails the login with (POSIX, timed out) instead of hanging the
// task.
//
// Data connections: passive ones go to the control connection's peer address (never to
// the address a PASV reply names) at the port the reply names; active ones are accepted
// on a listening socket bound to the control connection's local address. A protected
// data connection is a TLS client that offers the control connection's session, as
// servers that insist on session reuse (vsftpd's default) require. kDataOpened comes as
// soon as the TCP connection is up, so that the transfer command goes out: servers begin
// the data handshake only after it. Reads and writes wait for the handshake.
//
// Reading the data: after kHasBytes, read until kWouldBlock; kEnd is the end of the file.
// Writing: write until kWouldBlock, then wait for kCanWrite; after FinishDataWrites, kEnd
// says that everything went out and the server has seen the end.

#include <chrono>
#include <memory>
#include <vector>

#include "app/engine/ftp/ftp_connection.h"
#include "platform/net/certificate.h"
#include "platform/net/tcp_stream.h"
#include "platform/values/url.h"

namespace engine {

struct FTPSocketOptions {
  // For the control handshake and each data handshake.
  std::chrono::milliseconds tls_handshake_limit{30000};
  // The certificates the user accepted for this host; they pass even when expired or
  // issued for another name.
  std::vector<net::Certificate> trusted_roots;
  bool use_system_roots = true;
  // Name lookups of the control connection; default: the system's, IPv4 addresses only.
  net::TcpStream::Resolver resolver;
};

std::unique_ptr<FTPConnectionIO> CreateFTPSocketIO(const values::Url& url, FTPSocketOptions options = {});

// A connection on real sockets as the rest of the program makes them: the system's FTP
// passive setting decides the first data mode, the host's accepted certificate is trusted.
std::unique_ptr<FTPConnectionParam> FTPConnectionCreate(const values::Url& url, std::string user,
                                                        std::string password,
                                                        net::StreamError* error = nullptr);

}  // namespace engine
