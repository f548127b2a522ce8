#pragma once
// The FTP and FTPS transports of a download (download_transport.h).
//
// "ftp" reads through the plain-FTP read stream (ftp_read_stream.h); "ftps" drives the
// command client (ftp_connection.h) with explicit TLS in single-file download mode. Both
// run on the same client, log in with the same credentials (the download's, the URL's,
// a stored FTP item for "host:port", else anonymous with the "anon ftp password"
// setting), ask SIZE only while the download's size is unknown, send REST with the
// range's start and check on the first data that the server really starts there:
//   the server sends from 0 (REST refused)  -> whole file, kept as the whole-file reader;
//   it sends from another offset            -> whole file (the connection is dropped);
//   it honours REST but sends the file's start anyway -> the engine's resume check on
//     the first 1024 bytes catches it (WantsResumeCheck), for FTPS too.
//
// Endings: 226 after the data is the end (kStreamDone when this connection's range, or
// the whole file, is there; a short file is an error, retried later rather than at once,
// so that a server whose file is shorter than announced is not asked again in a loop).
// Both watch the reachability of the mirror's host once opened, and size the data
// socket's receive buffer under a download bandwidth limit on the first data.
// Failures map to end flags by FTPFailureFlags (one table for both schemes). A TLS
// failure of the control connection about the certificate asks the user (unknown root,
// or a certificate that differs from the one accepted before); any other TLS failure
// ends the connection at once instead of leaving it to the silence time-out.
//
// FTP proxies are not supported: with one configured, the transports connect directly
// and say so once per download in its transfer log.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/engine/ftp/ftp_connection.h"
#include "app/engine/task/download_transport.h"
#include "platform/net/stream_error.h"
#include "platform/values/url.h"

namespace engine {

struct FTPCredentials {
  std::string user;
  std::string password;
  bool operator==(const FTPCredentials&) const = default;
};

// The download's pair when it has both; else the URL's (a user without a password gets
// ""); else a stored FTP item for the URL's "host:port" (21 by default) and path; else
// "anonymous" with the "anon ftp password" setting.
FTPCredentials ResolveFTPCredentials(const values::Url& url, const DownloadFacts& download);

struct FTPFailure {
  std::uint32_t flags = kStreamError;
  std::string log;                 // a line for the transfer log, or empty
  bool single_connection = false;  // the server wants fewer connections: one
};

struct FTPFailureContext {
  bool first_connection = false;   // this connection validates the mirror
  bool network_reachable = false;  // the network works (a name that does not resolve is fatal)
  bool data_received = false;
  std::int64_t range_location = 0;
};

// The end flags for a failure of the FTP stream or the FTPS command connection.
FTPFailure FTPFailureFlags(net::StreamError error, const FTPFailureContext& context);

// The end flags for data that ended with 226: done when this connection's range (or the
// whole file) has arrived, else an error.
std::uint32_t FTPTransferEndFlags(const DownloadConnection& connection);

struct FTPTransportOptions {
  // Whether the network works at all (a name that does not resolve is then the server's
  // fault); asked only when a mirror's first connection fails on its name. Default:
  // IsNetworkReachable (network_reachability.h).
  std::function<bool()> is_network_reachable;
  // FTPS: the command client's network side (tests); default: sockets trusting the host's
  // accepted certificate.
  std::function<std::unique_ptr<FTPConnectionIO>(const values::Url&)> ftps_io;
};

class FTPTransport final : public DownloadTransport {
 public:
  explicit FTPTransport(FTPTransportOptions options = {}) : options_(std::move(options)) {}
  bool WantsResumeCheck() const override { return true; }
  std::size_t BufferGrowth() const override { return 16384; }
  std::unique_ptr<TransportConnection> Open(DownloadConnection& connection) override;

 private:
  FTPTransportOptions options_;
};

class FTPSTransport final : public DownloadTransport {
 public:
  explicit FTPSTransport(FTPTransportOptions options = {}) : options_(std::move(options)) {}
  bool WantsResumeCheck() const override { return true; }
  std::size_t BufferGrowth() const override { return 16384; }
  std::unique_ptr<TransportConnection> Open(DownloadConnection& connection) override;

 private:
  FTPTransportOptions options_;
};

// Registers "ftp" and "ftps" in the process's transport table.
void RegisterFTPTransports(FTPTransportOptions options = {});

}  // namespace engine
