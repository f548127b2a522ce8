#include "app/engine/ftp/ftp_read_stream.h"

#include <utility>

#include "app/engine/ftp/ftp_connection.h"
#include "app/engine/ftp/ftp_request_queue.h"
#include "app/engine/ftp/ftp_socket_io.h"
#include "platform/net/proxy_settings.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/url_escape.h"

namespace engine {
namespace {

std::string Unescaped(std::string_view text) {
  return values::PercentUnescape(text).value_or(std::string(text));
}

// The absolute folder a listing URL names, once the login told the working directory:
// relative to it, as FTP URLs are, unless the path begins with "%2F".
std::string ListingDirectory(const values::Url& url, const std::string& login_directory) {
  const std::string escaped = url.StrictPath();
  if (escaped.starts_with("%2F") || escaped.starts_with("%2f")) {
    std::string rest = Unescaped(std::string_view(escaped).substr(3));
    return rest.starts_with('/') ? rest : "/" + rest;
  }
  std::string base = login_directory.empty() ? "/" : login_directory;
  if (!base.ends_with('/')) base += '/';
  return base + Unescaped(escaped);
}

}  // namespace

FTPReadStream::FTPReadStream(values::Url url) : url_(std::move(url)) {}

FTPReadStream::~FTPReadStream() {
  Close();
}

void FTPReadStream::SetClient(unsigned events, Client client) {
  events_ = client ? events : 0;
  client_ = client ? std::make_shared<Client>(std::move(client)) : nullptr;
}

bool FTPReadStream::Open(std::shared_ptr<runtime::RunLoop> loop) {
  if (status_ != net::StreamStatus::kNotOpen) return false;
  loop_ = loop ? std::move(loop) : runtime::RunLoop::Current();
  if (!loop_ || !url_.Host()) return false;
  const std::string path = url_.Path();
  listing_ = path.empty() || path.ends_with('/');

  std::unique_ptr<FTPConnectionIO> io = io_factory_ ? io_factory_(url_) : CreateFTPSocketIO(url_);
  const bool passive =
      passive_ >= 0 ? passive_ == 1 : net::ProxySettingsSource::Shared().Current().ftp_passive;
  net::StreamError create_error;
  connection_ = FTPConnectionCreate(url_, user_, password_, std::move(io), passive, &create_error);
  if (!connection_) {
    error_ = create_error;
    return false;
  }
  connection_->callback = [this](FTPConnectionParam& c, FTPMessage m, const std::optional<std::string>&,
                                 bool& stop) { OnMessage(c, static_cast<int>(m), stop); };
  connection_->data_callback = [this](FTPConnectionParam& c, FTPDataEvent e) {
    OnDataEvent(c, static_cast<int>(e));
  };
  connection_->tls_level = tls_required_ ? kFTPTlsRequired : kFTPTlsNone;
  if (listing_) {
    connection_->queue_mode = true;
  } else {
    connection_->restart_offset = offset_;
    connection_->size_wanted = fetch_info_;
  }

  std::weak_ptr<char> alive = alive_;
  posted_source_ = runtime::Source::Create([this, alive] {
    if (!alive.expired()) PerformPosted();
  });
  loop_->AddSource(posted_source_);
  status_ = net::StreamStatus::kOpening;
  FTPConnectionOpen(*connection_);
  return true;
}

void FTPReadStream::Close() {
  if (status_ == net::StreamStatus::kClosed) return;
  status_ = net::StreamStatus::kClosed;
  data_ready_ = false;
  posted_ = 0;
  if (posted_source_) {
    posted_source_->Invalidate();
    if (loop_) loop_->RemoveSource(posted_source_);
    posted_source_.reset();
  }
  if (!connection_) return;
  connection_->callback = nullptr;
  connection_->data_callback = nullptr;
  FTPConnectionClose(*connection_);
  // The record goes later: Close may run inside one of its own callbacks, whose caller
  // still stands on it.
  std::shared_ptr<FTPConnectionParam> retired(std::move(connection_));
  if (loop_) {
    loop_->Perform([retired] {});
  }
}

std::ptrdiff_t FTPReadStream::Read(void* out, std::size_t size) {
  switch (status_) {
    case net::StreamStatus::kAtEnd:
      return net::kStreamAtEnd;
    case net::StreamStatus::kError:
    case net::StreamStatus::kClosed:
    case net::StreamStatus::kNotOpen:
      return net::kStreamFailed;
    default:
      break;
  }
  if (!connection_ || data_finished_ || size == 0) return net::kStreamWouldBlock;
  std::size_t got = 0;
  switch (FTPConnectionReadData(*connection_, out, size, got)) {
    case FTPDataResult::kOk:
      status_ = net::StreamStatus::kReading;
      return static_cast<std::ptrdiff_t>(got);
    case FTPDataResult::kWouldBlock:
      data_ready_ = false;
      return net::kStreamWouldBlock;
    case FTPDataResult::kEnd:
      DataFinished();
      return status_ == net::StreamStatus::kAtEnd ? net::kStreamAtEnd : net::kStreamWouldBlock;
    case FTPDataResult::kError:
      Fail(connection_->error);
      return net::kStreamFailed;
  }
  return net::kStreamFailed;
}

int FTPReadStream::Descriptor() const {
  return connection_ && connection_->io ? connection_->io->DataDescriptor() : -1;
}

std::int64_t FTPReadStream::FileTransferOffset() const {
  if (listing_) return 0;
  // Until the transfer command is answered the server has not said whether it honours REST.
  if (!rest_answered_ || !connection_) return offset_;
  return connection_->restart_offset;
}

void FTPReadStream::OnMessage(FTPConnectionParam& c, int message, bool& stop) {
  switch (static_cast<FTPMessage>(message)) {
    case FTPMessage::kIdle:
      // Queue mode logged in: the working directory is known, the listing can start.
      if (listing_ && c.request_queue.empty() && !c.has_current_request) {
        FTPConnectionQueueListFolder(c, "%2F" + ListingDirectory(url_, c.current_directory));
      }
      return;
    case FTPMessage::kSizeHandled:
      size_answered_ = true;
      resource_size_ = c.remote_size;
      return;
    case FTPMessage::kReplyReceived:
      // Handled right after this message, before anything else can ask for the offset.
      if (c.state == kFTPStateRest) rest_answered_ = true;
      return;
    case FTPMessage::kTransferAnswered:
      transfer_answered_ = true;
      if (early_data_error_) {
        Fail(early_data_error_);
        return;
      }
      if (status_ == net::StreamStatus::kOpening) status_ = net::StreamStatus::kOpen;
      if (!open_delivered_) Post(net::kEventOpenCompleted);
      return;
    case FTPMessage::kTransferComplete:
      if (!data_finished_) {
        // The reply raced ahead of the data (reading was not held): the end waits for it.
        complete_reply_ = true;
        return;
      }
      status_ = net::StreamStatus::kAtEnd;
      Post(net::kEventEnd);
      return;
    case FTPMessage::kTransferFailed:
    case FTPMessage::kFailed:
      if (status_ == net::StreamStatus::kAtEnd) return;
      Fail(c.error ? c.error : net::StreamError{net::ErrorDomain::kFtp, 0});
      // Nothing more of this connection is wanted; the client must not go on with it.
      c.callback = nullptr;
      c.data_callback = nullptr;
      FTPConnectionClose(c);
      stop = true;
      return;
    default:
      return;
  }
}

void FTPReadStream::OnDataEvent(FTPConnectionParam& c, int event) {
  switch (static_cast<FTPDataEvent>(event)) {
    case FTPDataEvent::kHasBytes:
      if (data_finished_ || status_ == net::StreamStatus::kError) return;
      data_ready_ = true;
      if (status_ == net::StreamStatus::kOpening) status_ = net::StreamStatus::kOpen;
      if (!open_delivered_) {
        // The data can overtake the 150 reply: the open is told first.
        open_delivered_ = true;
        posted_ &= ~static_cast<unsigned>(net::kEventOpenCompleted);
        if ((events_ & net::kEventOpenCompleted) && client_) {
          std::weak_ptr<char> alive = alive_;
          auto client = client_;
          (*client)(net::kEventOpenCompleted);
          if (alive.expired() || status_ == net::StreamStatus::kClosed) return;
        }
      }
      if ((events_ & net::kEventHasBytes) && client_) {
        // Straight through: the data connection repeats this event on every pass while
        // bytes wait, and the client may close this stream inside its callback.
        auto client = client_;
        (*client)(net::kEventHasBytes);
      }
      return;
    case FTPDataEvent::kEnd:
      DataFinished();
      return;
    case FTPDataEvent::kError:
      if (!transfer_answered_) {
        // Servers drop the data connection when they refuse the file; their reply is
        // the real cause.
        early_data_error_ =
            c.error ? c.error : net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kConnectionReset};
        return;
      }
      Fail(c.error);
      return;
    case FTPDataEvent::kCanWrite:
      return;
  }
}

void FTPReadStream::DataFinished() {
  if (data_finished_ || !connection_) return;
  data_finished_ = true;
  data_ready_ = false;
  // Closing the data connection lets the client read the end-of-transfer reply that
  // waited behind the data; it reports 226 (or the failure) at once when it is there.
  std::weak_ptr<char> alive = alive_;
  FTPConnectionCloseDataConnection(*connection_);
  if (alive.expired()) return;
  if (complete_reply_ && status_ != net::StreamStatus::kAtEnd && status_ != net::StreamStatus::kError &&
      status_ != net::StreamStatus::kClosed) {
    status_ = net::StreamStatus::kAtEnd;
    Post(net::kEventEnd);
  }
}

void FTPReadStream::Fail(net::StreamError error) {
  if (status_ == net::StreamStatus::kError || status_ == net::StreamStatus::kClosed ||
      status_ == net::StreamStatus::kAtEnd)
    return;
  error_ = error;
  status_ = net::StreamStatus::kError;
  data_ready_ = false;
  Post(net::kEventError);
}

void FTPReadStream::Post(net::StreamEvent event) {
  posted_ |= event;
  if (posted_source_) posted_source_->Signal();
}

void FTPReadStream::PerformPosted() {
  std::weak_ptr<char> alive = alive_;
  for (net::StreamEvent event : {net::kEventOpenCompleted, net::kEventEnd, net::kEventError}) {
    if (!(posted_ & event)) continue;
    posted_ &= ~static_cast<unsigned>(event);
    if (event == net::kEventOpenCompleted) {
      if (open_delivered_) continue;
      open_delivered_ = true;
    }
    if (!(events_ & event) || !client_) continue;
    auto client = client_;
    (*client)(event);
    if (alive.expired() || status_ == net::StreamStatus::kClosed) return;
  }
}

}  // namespace engine
