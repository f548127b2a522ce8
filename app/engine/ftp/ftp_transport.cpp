#include "app/engine/ftp/ftp_transport.h"

#include <optional>

#include <utility>

#include "app/browser/services/auth_items_service.h"
#include "app/engine/ftp/ftp_read_stream.h"
#include "app/engine/ftp/ftp_socket_io.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/network/network_reachability.h"
#include "app/engine/network/socket_buffer.h"
#include "app/engine/task/download_timing.h"
#include "app/util/settings/settings_store.h"
#include "platform/net/proxy_settings.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/url_escape.h"

namespace engine {
namespace {

// Servers that cannot tell a size answer 2^31 - 1; it means "unknown".
constexpr std::int64_t kNoSizeMarker = 2147483647;
constexpr net::StreamError kParamError{net::ErrorDomain::kMacOsStatus, -50};

std::string Unescaped(const std::optional<std::string>& text) {
  if (!text) return {};
  return values::PercentUnescape(*text).value_or(*text);
}

std::int64_t SizeFromServer(std::int64_t size) {
  return size <= 0 || size == kNoSizeMarker ? -1 : size;
}

bool IsCertificateFailure(const net::StreamError& error) {
  if (error.domain != net::ErrorDomain::kSsl) return false;
  return error.code == net::tls_code::kExpired || error.code == net::tls_code::kUnknownIssuer ||
         error.code == net::tls_code::kUnknownRoot || error.code == net::tls_code::kHostNameMismatch;
}

// Once per download: the FTP proxy the settings name is not used.
void NoteUnsupportedProxy(DownloadConnection& connection) {
  const auto proxy = net::ProxySettingsSource::Shared().Current().ProxyFor(connection.URL());
  if (!proxy) return;
  std::any& noted = connection.DownloadSlot("FTPProxyNoted");
  if (noted.has_value()) return;
  noted = true;
  connection.Log("\rFTP proxies are not supported; connecting to the server directly\r");
}

bool NetworkWorks(const FTPTransportOptions& options) {
  return options.is_network_reachable ? options.is_network_reachable() : IsNetworkReachable();
}

// First data of a connection: the offset the server really sends from, the size, the
// mirror's validation. False when the connection ended.
bool HandleFirstData(DownloadConnection& connection, std::int64_t used_offset, bool size_asked,
                     std::int64_t server_size) {
  const std::int64_t location = connection.Range().location;
  if (used_offset != location) {
    // The server ignores the restart offset. From 0 it sends the whole file: this
    // connection may go on as the one that fetches all of it.
    const std::uint32_t flags = used_offset == 0 ? (kStreamWholeFile | kStreamKeepAsWhole) : kStreamWholeFile;
    if (connection.End(flags)) return false;
  }
  if (connection.NeedsValidation()) {
    connection.MarkValidated();
    if (!connection.Download().sizeKnown && size_asked) {
      const std::int64_t size = SizeFromServer(server_size);
      connection.SetServerSize(size);
      connection.LearnFileSize(size);
    }
  }
  connection.ApplyPendingRanges();
  return true;
}

// ---- FTP: the read stream

// The start of opening either kind of connection: a URL without a host is a parameter
// error; otherwise the credentials to log in with.
std::optional<FTPCredentials> CredentialsForOpen(DownloadConnection& connection) {
  if (!connection.URL().Host()) {
    connection.SetError(kParamError);
    return std::nullopt;
  }
  NoteUnsupportedProxy(connection);
  return ResolveFTPCredentials(connection.URL(), connection.Download());
}

// How a failed FTP or FTPS connection ends: the failure table's flags, its log line, and
// fewer wanted connections when the server takes only one.
std::uint32_t EndFlagsForFailure(DownloadConnection& connection, const FTPTransportOptions& options,
                                 net::StreamError error, bool data_came) {
  FTPFailureContext context;
  context.first_connection = connection.NeedsValidation();
  context.network_reachable =
      context.first_connection && error.domain == net::ErrorDomain::kNetDb && NetworkWorks(options);
  context.data_received = data_came;
  context.range_location = connection.Range().location;
  const FTPFailure failure = FTPFailureFlags(error, context);
  if (!failure.log.empty()) connection.Log(failure.log);
  if (failure.single_connection) {
    for (int i = 0; i < 10 && connection.Download().wantedConnections > 1; ++i)
      connection.LowerWantedConnections();
  }
  return failure.flags;
}

class FTPConnectionOfDownload final : public TransportConnection {
 public:
  FTPConnectionOfDownload(DownloadConnection& connection, const FTPTransportOptions& options)
      : connection_(connection), options_(options), stream_(connection.URL()) {}

  bool Open() {
    const std::optional<FTPCredentials> found = CredentialsForOpen(connection_);
    if (!found) return false;
    const FTPCredentials& credentials = *found;
    stream_.SetUser(credentials.user);
    stream_.SetPassword(credentials.password);
    stream_.SetAttemptPersistentConnection(false);
    if (connection_.Range().location > 0) stream_.SetFileTransferOffset(connection_.Range().location);
    size_asked_ = !connection_.Download().sizeKnown;
    stream_.SetFetchResourceInfo(size_asked_);
    stream_.SetClient(net::kEventHasBytes | net::kEventEnd | net::kEventError,
                      [this](net::StreamEvent event) { OnEvent(event); });
    if (!stream_.Open()) {
      connection_.SetError(stream_.Error() ? stream_.Error() : kParamError);
      return false;
    }
    connection_.NoteActivity();
    connection_.SetTimeout(kConnectionTimeout);
    connection_.WatchReachability();
    return true;
  }

  void Close() override { stream_.Close(); }
  int Descriptor() const override { return stream_.Descriptor(); }

 private:
  void OnEvent(net::StreamEvent event) {
    switch (event) {
      case net::kEventHasBytes:
        OnBytes();
        return;
      case net::kEventEnd:
        connection_.End(FTPTransferEndFlags(connection_));
        return;
      case net::kEventError:
        Fail(stream_.Error());
        return;
      default:
        return;
    }
  }

  void OnBytes() {
    connection_.NoteActivity();
    if (!data_came_) {
      data_came_ = true;
      (void)SetStreamSocketBuffer(stream_.Descriptor(), connection_.Download());
      if (!HandleFirstData(connection_, stream_.FileTransferOffset(), size_asked_, stream_.ResourceSize()))
        return;
    }
    auto buffer = connection_.ReadBuffer();
    const std::size_t grant = connection_.RequestBandwidth(buffer.size());
    if (grant < 1) return;  // the data waits for the next grant: the event comes again
    const std::ptrdiff_t n = stream_.Read(buffer.data(), std::min(grant, buffer.size()));
    if (n > 0) {
      connection_.ReportTransfer(grant - static_cast<std::size_t>(n), static_cast<std::size_t>(n));
      (void)connection_.WriteReceived(static_cast<std::size_t>(n));
      return;
    }
    connection_.ReportTransfer(grant, 0);
    if (n == net::kStreamFailed) {
      connection_.SetError(stream_.Error());
      connection_.End(kStreamError);
    }
    // Would block or at end: the end event follows.
  }

  void Fail(net::StreamError error) {
    connection_.SetError(error);
    connection_.End(EndFlagsForFailure(connection_, options_, error, data_came_));
  }

  DownloadConnection& connection_;
  const FTPTransportOptions& options_;
  FTPReadStream stream_;
  bool size_asked_ = false;
  bool data_came_ = false;
};

// ---- FTPS: the command client with TLS

class FTPSConnectionOfDownload final : public TransportConnection {
 public:
  FTPSConnectionOfDownload(DownloadConnection& connection, const FTPTransportOptions& options)
      : connection_(connection), options_(options) {}

  ~FTPSConnectionOfDownload() override { Close(); }

  bool Open() {
    const values::Url& url = connection_.URL();
    const std::optional<FTPCredentials> found = CredentialsForOpen(connection_);
    if (!found) return false;
    const FTPCredentials& credentials = *found;
    net::StreamError error;
    if (options_.ftps_io) {
      client_ = FTPConnectionCreate(url, credentials.user, credentials.password, options_.ftps_io(url),
                                    net::ProxySettingsSource::Shared().Current().ftp_passive, &error);
    } else {
      client_ = FTPConnectionCreate(url, credentials.user, credentials.password, &error);
    }
    if (!client_) {
      connection_.SetError(
          error ? error : net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kConnectionRefused});
      return false;
    }
    client_->tls_level = kFTPTlsRequired;
    client_->restart_offset = connection_.Range().location > 0 ? connection_.Range().location : 0;
    size_asked_ = !connection_.Download().sizeKnown;
    client_->size_wanted = size_asked_;
    client_->callback = [this](FTPConnectionParam& c, FTPMessage m, const std::optional<std::string>& text,
                               bool& stop) { OnMessage(c, m, text, stop); };
    client_->data_callback = [this](FTPConnectionParam& c, FTPDataEvent e) { OnData(c, e); };
    loop_ = runtime::RunLoop::Current();
    FTPConnectionOpen(*client_);
    connection_.NoteActivity();
    connection_.SetTimeout(kFTPSOpenTimeout);
    connection_.WatchReachability();
    return true;
  }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    if (!client_) return;
    client_->callback = nullptr;
    client_->data_callback = nullptr;
    FTPConnectionClose(*client_);
    // Close may run inside one of the record's own callbacks: it goes later.
    std::shared_ptr<FTPConnectionParam> retired(std::move(client_));
    if (loop_) loop_->Perform([retired] {});
  }

  int Descriptor() const override { return client_ && client_->io ? client_->io->DataDescriptor() : -1; }

 private:
  // True when the connection was ended (the client must stop).
  bool End(std::uint32_t flags) { return connection_.End(flags); }

  void OnMessage(FTPConnectionParam& c, FTPMessage message, const std::optional<std::string>& text,
                 bool& stop) {
    switch (message) {
      case FTPMessage::kCommandSent:
      case FTPMessage::kReplyReceived:
        if (text) connection_.Log("\r" + *text);
        return;
      case FTPMessage::kTransferAnswered:
        transfer_answered_ = true;
        connection_.NoteActivity();
        if (early_data_error_) stop = Fail(early_data_error_);
        return;
      case FTPMessage::kTransferComplete:
        stop = End(FTPTransferEndFlags(connection_));
        return;
      case FTPMessage::kTransferFailed:
      case FTPMessage::kFailed:
        stop = Fail(c.error ? c.error : net::StreamError{net::ErrorDomain::kFtp, 0});
        return;
      default:
        return;
    }
  }

  void OnData(FTPConnectionParam& c, FTPDataEvent event) {
    switch (event) {
      case FTPDataEvent::kHasBytes:
        OnBytes(c);
        return;
      case FTPDataEvent::kEnd:
        DataEnded(c);
        return;
      case FTPDataEvent::kError:
        if (!transfer_answered_) {
          // A server refusing the file drops the data connection; its reply says why.
          early_data_error_ =
              c.error ? c.error
                      : net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kConnectionReset};
          return;
        }
        (void)Fail(c.error);
        return;
      case FTPDataEvent::kCanWrite:
        return;
    }
  }

  void OnBytes(FTPConnectionParam& c) {
    if (data_ended_) return;
    connection_.NoteActivity();
    if (!data_came_) {
      data_came_ = true;
      // TLS records come in larger bursts than plain data: a larger buffer per share.
      (void)SetStreamSocketBuffer(Descriptor(), connection_.Download(), kFTPSSocketBufferFactor);
      if (!HandleFirstData(connection_, c.restart_offset, size_asked_, c.remote_size)) return;
    }
    auto buffer = connection_.ReadBuffer();
    const std::size_t grant = connection_.RequestBandwidth(buffer.size());
    if (grant < 1) return;
    std::size_t got = 0;
    const FTPDataResult result = FTPConnectionReadData(c, buffer.data(), std::min(grant, buffer.size()), got);
    connection_.ReportTransfer(grant - got, got);
    switch (result) {
      case FTPDataResult::kOk:
        (void)connection_.WriteReceived(got);
        return;
      case FTPDataResult::kWouldBlock:
        return;
      case FTPDataResult::kEnd:
        DataEnded(c);
        return;
      case FTPDataResult::kError:
        connection_.SetError(c.error);
        End(kStreamError);
        return;
    }
  }

  // The data is all there: the end-of-transfer reply, held back behind it, comes now.
  void DataEnded(FTPConnectionParam& c) {
    if (data_ended_) return;
    data_ended_ = true;
    FTPConnectionCloseDataConnection(c);
  }

  // True when the connection was ended.
  bool Fail(net::StreamError error) {
    connection_.SetError(error);
    if (IsCertificateFailure(error)) {
      net::CertificateChain chain =
          client_ ? client_->io->ControlPeerCertificates() : net::CertificateChain{};
      const auto accepted = CopyAcceptedCertificateData(connection_.URL());
      const bool changed = accepted && !chain.empty() && chain.front().Der() != *accepted;
      connection_.SetPeerCertificates(std::move(chain));
      connection_.SetTimeout(kQuestionTimeout);
      return End(kStreamError | (changed ? kStreamCertChanged : kStreamUnknownRoot));
    }
    return End(EndFlagsForFailure(connection_, options_, error, data_came_));
  }

  DownloadConnection& connection_;
  const FTPTransportOptions& options_;
  std::unique_ptr<FTPConnectionParam> client_;
  std::shared_ptr<runtime::RunLoop> loop_;
  bool closed_ = false;
  bool size_asked_ = false;
  bool data_came_ = false;
  bool data_ended_ = false;
  bool transfer_answered_ = false;
  net::StreamError early_data_error_;
};

}  // namespace

FTPCredentials ResolveFTPCredentials(const values::Url& url, const DownloadFacts& download) {
  if (download.user && download.password) return {*download.user, *download.password};
  std::optional<std::string> user = url.User() ? std::optional(Unescaped(url.User())) : std::nullopt;
  std::optional<std::string> password =
      url.Password() ? std::optional(Unescaped(url.Password())) : std::nullopt;
  if (user && !password) password = std::string();
  if (!user || !password) {
    const std::string host = url.Host().value_or("");
    const int port = url.Port() > 0 ? url.Port() : 21;
    const auto item = browser::AuthItemsServiceSlot::Get().FindAuthItem(
        host + ":" + std::to_string(port), url.Path(), browser::kAuthItemTypeFTP);
    if (item) return {item->user, item->password};
  }
  if (user && password) return {*user, *password};
  const auto settings = util::CurrentSettings();
  return {"anonymous", settings ? settings->anonFTPPassword : std::string()};
}

FTPFailure FTPFailureFlags(net::StreamError error, const FTPFailureContext& context) {
  FTPFailure out;
  switch (error.domain) {
    case net::ErrorDomain::kPosix:
      switch (error.code) {
        case net::posix_code::kBrokenPipe:
          out.log = "Broken pipe\r";
          break;
        case net::posix_code::kNetworkDown:
        case net::posix_code::kNetworkUnreachable:
          out.log = "Host unreachable\r";
          break;
        case net::posix_code::kConnectionReset:
          out.log = "Connection reset\r";
          break;
        case net::posix_code::kNotConnected:
          out.log = "Connection with server was lost\r";
          break;
        case net::posix_code::kConnectionRefused:
          out.log = "Connection refused\r";
          break;
        default:
          return out;
      }
      out.flags = kStreamError | kStreamRetryLate;
      return out;
    case net::ErrorDomain::kNetDb:
      // A name that does not resolve while the network works will not resolve later.
      if (context.first_connection && context.network_reachable) out.flags = kStreamError | kStreamFatal;
      return out;
    case net::ErrorDomain::kFtp:
      switch (error.code) {
        case 503:  // too many connections
          out.single_connection = true;
          out.flags = kStreamError | kStreamRetryLate;
          return out;
        case 451:
        case 500:
        case 504:
          // Taken as a server that cannot resume, which only means something for a
          // connection that asked for an offset. One that fetched from 0 already is the
          // whole-file reader: starting it again at once would ask the same server the
          // same thing in a tight loop. It is retried later like any failure.
          if (context.range_location > 0) out.flags = kStreamError | kStreamWholeFile;
          return out;
        case 530:
          out.flags = kStreamError | kStreamNeedsAuth;
          return out;
        case 550:
          // A ranged request refused before any data: the server will not resume. Else
          // there is no such file.
          out.flags = !context.data_received && context.range_location != 0
                          ? (kStreamError | kStreamWholeFile)
                          : (kStreamError | kStreamFatal);
          return out;
        default:
          return out;
      }
    default:
      return out;
  }
}

std::uint32_t FTPTransferEndFlags(const DownloadConnection& connection) {
  const LongRange range = connection.Range();
  const std::int64_t total = connection.Download().totalSize;
  if (range.length > 0)
    return connection.WriteOffset() >= range.location + range.length ? kStreamDone : kStreamError;
  // To the end of the file: done unless the size is known and not reached.
  if (connection.Download().sizeKnown && total > 0 && connection.WriteOffset() < total) return kStreamError;
  return kStreamDone;
}

std::unique_ptr<TransportConnection> FTPTransport::Open(DownloadConnection& connection) {
  auto c = std::make_unique<FTPConnectionOfDownload>(connection, options_);
  if (!c->Open()) return nullptr;
  return c;
}

std::unique_ptr<TransportConnection> FTPSTransport::Open(DownloadConnection& connection) {
  auto c = std::make_unique<FTPSConnectionOfDownload>(connection, options_);
  if (!c->Open()) return nullptr;
  return c;
}

void RegisterFTPTransports(FTPTransportOptions options) {
  DownloadTransports().Register("ftp", std::make_shared<FTPTransport>(options));
  DownloadTransports().Register("ftps", std::make_shared<FTPSTransport>(std::move(options)));
}

}  // namespace engine
