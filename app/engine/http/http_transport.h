#pragma once
// The HTTP and HTTPS transport of downloads: one net::HttpReadStream per connection.
//
// For each connection it builds the request (http_request_builder.h), reads the response
// head and decides from the status and fields whether the connection goes on, is
// replaced (redirect, answer to a challenge), retried later, or fails; then it moves the
// body into the file, inflating gzip on the way. Its decisions end the connection with
// the flags of download_transport.h; the engine does what follows.
//
// Rules worth knowing:
//  - Only a 2xx answer ever reaches the file. A 200 to a request for a range is checked
//    (Content-Range) before a byte is written: the server may be sending the whole file.
//  - Redirects are followed here, at most kMaxRedirects in a row; relative locations are
//    resolved against the URL that answered. The mirror's entry moves to the new URL.
//  - A 401 or 407 is answered by a new connection carrying the challenge; a refused
//    answer, a challenge without credentials, or kMaxAuthAttempts answers in a row ask
//    the user. Credentials and cookies never reach a log line.
//  - A gzip body is decoded; its size is unknown until it ends, so such a mirror is
//    fetched from 0 by one connection ("norestarts").
//  - A server that answers a range with the whole file gets one more try with If-Range;
//    one that keeps doing it is fetched by one whole-file connection. A cache answering
//    with an old Date is retried soon, kMaxOldDateRetries times, then treated the same.

#include <memory>

#include "app/engine/task/download_transport.h"

namespace engine {

inline constexpr int kMaxRedirects = 10;
inline constexpr int kMaxAuthAttempts = 4;
inline constexpr int kMaxOldDateRetries = 3;

class HttpTransport : public DownloadTransport {
 public:
  bool WantsResumeCheck() const override { return true; }
  std::unique_ptr<TransportConnection> Open(DownloadConnection& connection) override;
};

// Registers the transport for "http" and "https" (and so for every scheme without a
// transport of its own) in DownloadTransports().
void RegisterHttpTransport();

}  // namespace engine
