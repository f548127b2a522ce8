#pragma once
// The transports of a download, found by URL scheme, and the connection they serve.
//
// Model. A download task runs up to ten connections at once. The scheduler (the engine)
// decides what each connection fetches: a mirror (URL entry) and a byte range. A
// transport (HTTP/HTTPS, FTP/FTPS, AFP) only moves bytes: it talks to the server for one
// connection and calls back into that connection. All of it runs on the download task's
// own thread and run loop; nothing here is locked.
//
//   engine                                   transport
//   ------                                   ---------
//   DownloadConnection  --Open(connection)-> DownloadTransport (one per scheme, shared)
//     owns the unique_ptr  <---------------- TransportConnection (one per connection)
//     offers ReadBuffer(), WriteReceived(), End(), LearnFileSize() ... to the transport
//
// What a transport must do:
//   - Open(): start talking to connection.URL() for connection.Range() (length
//     kOpenEndLength = to the end). Return the object that carries the connection, or
//     null after SetError() when it cannot start (the engine frees the connection and
//     tries again later). Opening may finish later on the run loop; a connection counts
//     as open from a successful Open().
//   - Call NoteActivity() on each sign of life (response head, data) so the tick does not
//     time the connection out; SetTimeout() when the scheme needs another silence limit.
//   - Once the server's answer is accepted (a 2xx-equivalent: a range it honours, or the
//     whole file from 0), report what it learned: LearnFileSize() the first time a size is
//     known, MarkValidated() when NeedsValidation(), ApplyPendingRanges(). Only such data
//     is ever passed on for writing: an error page is never written into the file.
//   - For data: read at most ReadBuffer().size() bytes straight into ReadBuffer() (one
//     read, no copy), then WriteReceived(count). Bytes produced elsewhere (decoded gzip,
//     deciphered peer data held in another buffer) go through WriteBytes(). Both answer
//     false when the connection has been ended meanwhile.
//   - At the end of its data or on a failure: SetError() when failed, then End(flags)
//     with the StreamEndFlags below. End() decides what follows (retry, restart,
//     takeover, question to the user, the end of the download).
//   - After End() (or WriteReceived/WriteBytes) returned "ended", return at once: the
//     engine has already called Close() on the TransportConnection, and destroys it once
//     the current callback has returned. No callback may come after Close().
//   - Redirects and authentication retries: OpenReplacement() makes a new connection for
//     the same range (optionally another URL, and an object carried over, e.g. the
//     authentication state), then the old one ends with kStreamReplaced.
//
// Who owns what: the engine owns every DownloadConnection and, through it, its
// TransportConnection; the transport owns its sockets, streams, TLS state, inflater and
// the like inside its TransportConnection, and releases them in Close()/its destructor.
// The table owns the transports (shared, stateless across downloads, or internally
// locked: several download tasks call the same transport at once).
// Download-wide transport state (the proxy challenge, a peer's session key, reachability
// objects) lives in DownloadSlot(key), freed with the download.

#include <any>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine/task/download_ranges.h"
#include "platform/net/certificate.h"
#include "platform/net/stream_error.h"
#include "platform/values/ascii.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

// How a connection ends: the flags of DownloadConnection::End(), combined by OR.
enum StreamEndFlags : std::uint32_t {
  kStreamError = 1,          // the connection failed
  kStreamFatal = 2,          // with kStreamError: the mirror must not be used again
  kStreamStopped = 4,        // ended because the download stops
  kStreamDone = 8,           // the connection's range (or the file) is complete
  kStreamWholeFile = 16,     // the server sends the whole file, not the range asked for
  kStreamRetryLate = 32,     // with kStreamError: retry in 25 s instead of 60 s
  kStreamReplaced = 64,      // replaced (redirect, new request); nothing follows
  kStreamKeepAsWhole = 128,  // with kStreamWholeFile: keep it, fetching the whole file
  kStreamUnknownRoot = 256,  // with kStreamError: ask about an untrusted chain
  kStreamCertChanged = 512,  // with kStreamError: ask about a changed certificate
  kStreamRetrySoon = 1024,   // with kStreamError: retry in 4 s
  kStreamRestartAll = 2048,  // with kStreamError: the file changed; start again
  kStreamNeedsAuth = 4096,   // with kStreamError: ask the user for credentials
  kStreamAbortAll = 8192,    // with kStreamError: end the download with this error
};

// What a transport reads of the whole download. Kept current by the engine.
struct DownloadFacts {
  std::uint32_t uid = 0;
  std::int64_t totalSize = -1;  // negative when unknown
  bool sizeKnown = false;
  std::int32_t wantedConnections = 1;
  std::int32_t openConnections = 0;
  std::size_t urlEntryCount = 0;
  std::optional<std::string> user;  // the download's credentials, when it has any
  std::optional<std::string> password;
  std::string userAgent;            // empty: none
  std::uint32_t nameFlags = 0;      // bit 0: a name was already taken from a page title
  bool resumedAfterPrompt = false;  // the user accepted a certificate question
  bool alwaysTrust = false;
  std::optional<net::Certificate> acceptedCertificate;  // what the user accepted, if any
  std::optional<std::string> acceptedCertificateHost;
};

class TransportConnection {
 public:
  virtual ~TransportConnection() = default;
  // Stops every callback and releases the network side. Called once, by the engine, when
  // the connection ends; the destructor follows later.
  virtual void Close() {}
  // The socket underneath, for the receive-buffer size under a bandwidth limit; -1 none.
  virtual int Descriptor() const { return -1; }
};

// The engine's side of one connection, as a transport sees it.
class DownloadConnection {
 public:
  virtual ~DownloadConnection() = default;

  // ---- What to fetch
  // The URL to request: the mirror's "url", or the redirect target this connection was
  // made for.
  virtual const values::Url& URL() const = 0;
  // The mirror's entry, shared with the whole download: keys set here ("validated",
  // "dateString", "ETag", "norestarts" ...) are seen by every connection and saved.
  virtual values::Value& Entry() = 0;
  virtual LongRange Range() const = 0;           // length kOpenEndLength: to the end
  virtual std::int64_t WriteOffset() const = 0;  // where the next byte goes
  virtual std::int64_t BytesDone() const = 0;    // written since Range().location
  virtual bool NeedsValidation() const = 0;      // first request to this mirror in this run
  virtual bool IsSoleConnection() const = 0;     // the mirror cannot resume: long time-out
  virtual std::int64_t ServerSize() const = 0;   // -1 when unknown
  virtual void SetServerSize(std::int64_t size) = 0;
  virtual const DownloadFacts& Download() const = 0;
  // Download-wide state of transports, by key (created empty on first use).
  virtual std::any& DownloadSlot(std::string_view key) = 0;
  // What OpenReplacement carried over to this connection (empty otherwise).
  virtual std::any& Carried() = 0;

  // ---- What the transport learned
  // The first answer of a mirror was good: clears NeedsValidation and sets "validated".
  virtual void MarkValidated() = 0;
  // The file's size (negative: unknown). The first time it is known the download takes
  // it, fits its connection count to it and may start more connections.
  virtual void LearnFileSize(std::int64_t size) = 0;
  // A file name the server gave (Content-Disposition, a page title). The engine keeps
  // only a plain last path component, renames the data file and tells the queue.
  virtual void ProposeFileName(std::string_view name, bool fromPageTitle) = 0;
  // Applies the ranges held back for every connection of the download (call once the
  // response head is handled).
  virtual void ApplyPendingRanges() = 0;
  // One connection fewer wanted (a server that refuses more): at least 1.
  virtual void LowerWantedConnections() = 0;
  // The certificates a question to the user is about (before End with 256 or 512).
  virtual void SetPeerCertificates(std::vector<net::Certificate> chain) = 0;
  virtual void SetError(net::StreamError error, std::string text = {}) = 0;
  // A line for the download's transfer log, framed by the caller ("\r...\r").
  virtual void Log(std::string_view line) = 0;
  // Watches the reachability of this connection's mirror host for the rest of the
  // download (once per mirror): an unreachable host is not used, and its return starts
  // connections again. Transports that dial a host by name call it when they open.
  virtual void WatchReachability() {}

  // ---- Data path
  virtual void NoteActivity() = 0;
  virtual void SetTimeout(double seconds) = 0;
  // Where to read the next bytes into: its size is what to ask for (it grows with a busy
  // connection and shrinks with an idle one); no allocation per read.
  virtual std::span<std::uint8_t> ReadBuffer() = 0;
  // Writes `count` bytes from the start of ReadBuffer() at WriteOffset() (cut at the
  // range's end; the resume check on the first 1024 bytes when the transport asks for
  // it). False when the connection has ended (range complete, write error ...).
  virtual bool WriteReceived(std::size_t count) = 0;
  // The same for bytes held elsewhere; leaves the read buffer's size alone.
  virtual bool WriteBytes(std::span<const std::uint8_t> bytes) = 0;
  // Under a download bandwidth limit: blocks for a grant of at most `wanted` bytes; without
  // one answers `wanted`. After the read, ReportTransfer(grant - used, used), always.
  virtual std::size_t RequestBandwidth(std::size_t wanted) = 0;
  virtual void ReportTransfer(std::size_t unusedGrant, std::size_t moved) = 0;

  // ---- Data path without a copy (a plain body the transport can splice)
  // A pipe to move at most `size` received bytes into, straight from the socket, then
  // WriteSpliced(count) puts them into the file at WriteOffset(). None whenever the bytes
  // must come through ReadBuffer(): under a download limit (every read asks for a grant),
  // before the resume check has seen the first bytes, at the range's end, or when no pipe
  // can be had or the file system refuses splice. The transport reads as usual then.
  struct PipeTarget {
    int descriptor = -1;
    std::size_t size = 0;
  };
  virtual std::optional<PipeTarget> SplicePipe() { return std::nullopt; }
  // The same answers as WriteReceived, for `count` bytes the transport spliced into the
  // pipe of the last SplicePipe().
  virtual bool WriteSpliced(std::size_t /*count*/) { return false; }

  // ---- Ending
  // Ends the connection (StreamEndFlags). True: closed and removed; do not touch it
  // again. False only for kStreamWholeFile|kStreamKeepAsWhole when it goes on fetching
  // the whole file from offset 0.
  virtual bool End(std::uint32_t flags) = 0;
  // Stops the whole download as if the user had stopped it (the user cancelled a step the
  // transport asked about, e.g. a volume's login): it finishes as stopped, not failed.
  // Takes effect once the current callback has returned; end this connection with
  // kStreamStopped too.
  virtual void StopDownload() = 0;
  // A new connection for this one's range, for `url` (this one's URL when none), with
  // `carried` handed to it. False when it could not be opened (its error is logged).
  virtual bool OpenReplacement(std::optional<values::Url> url, std::any carried = {}) = 0;
};

class DownloadTransport {
 public:
  virtual ~DownloadTransport() = default;
  // Whether WriteReceived runs the check that catches a server sending the file's start
  // instead of the range asked for (HTTP: yes; FTP checks the restart offset itself).
  virtual bool WantsResumeCheck() const { return false; }
  // Bytes the read buffer grows by after a read that filled it.
  virtual std::size_t BufferGrowth() const { return 32768; }
  // Starts the connection (see the model above). Null after connection.SetError() when it
  // cannot.
  virtual std::unique_ptr<TransportConnection> Open(DownloadConnection& connection) = 0;
};

// The table, by scheme compared without case. A scheme without a transport of its own
// goes to "http": the HTTP transport fetches everything that is not ftp, ftps or afp.
class DownloadTransportTable {
 public:
  void Register(std::string_view scheme, std::shared_ptr<DownloadTransport> transport) {
    std::lock_guard lock(mutex_);
    transports_[values::AsciiLower(scheme)] = std::move(transport);
  }
  void Unregister(std::string_view scheme) {
    std::lock_guard lock(mutex_);
    transports_.erase(values::AsciiLower(scheme));
  }
  // Null when neither the scheme nor "http" has a transport.
  std::shared_ptr<DownloadTransport> Find(std::string_view scheme) const {
    std::lock_guard lock(mutex_);
    auto it = transports_.find(values::AsciiLower(scheme));
    if (it == transports_.end()) it = transports_.find("http");
    return it == transports_.end() ? nullptr : it->second;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    transports_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<DownloadTransport>> transports_;
};

// The process's table: transports register at start-up ("http", "https", "ftp", "ftps",
// "afp"); tests install fakes and clear it.
inline DownloadTransportTable& DownloadTransports() {
  static DownloadTransportTable table;
  return table;
}

}  // namespace engine
