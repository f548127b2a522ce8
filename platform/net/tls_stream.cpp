#include "platform/net/tls_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/runtime/run_loop.h"

namespace net {

namespace {
constexpr std::size_t kCarrierReadSize = 32 * 1024;
// Encrypted bytes taken from the carrier ahead of the reader: enough for a few whole
// records, so the session always has one to decrypt. The rest stays in the socket, where
// it holds back the sender.
constexpr std::size_t kIncomingLimit = 64 * 1024;
// Encrypted bytes queued for a carrier that does not take them: past this, Write
// answers would-block.
constexpr std::size_t kOutgoingLimit = 256 * 1024;
}  // namespace

std::unique_ptr<TlsStream> TlsStream::CreateClient(std::unique_ptr<TcpStream> carrier, std::string peer_name,
                                                   TlsTrust trust, std::shared_ptr<TlsContext> context) {
  if (!context) context = TlsContext::Client();
  auto session = TlsSession::CreateClient(std::move(context), std::move(peer_name), std::move(trust));
  if (!session) return nullptr;
  return std::unique_ptr<TlsStream>(new TlsStream(std::move(carrier), std::move(session)));
}

std::unique_ptr<TlsStream> TlsStream::CreateServer(std::unique_ptr<TcpStream> carrier,
                                                   std::shared_ptr<TlsContext> context) {
  if (!context || !context->IsServer()) return nullptr;
  auto session = TlsSession::CreateServer(std::move(context));
  if (!session) return nullptr;
  return std::unique_ptr<TlsStream>(new TlsStream(std::move(carrier), std::move(session)));
}

TlsStream::TlsStream(std::unique_ptr<TcpStream> carrier, std::unique_ptr<TlsSession> session)
    : carrier_(std::move(carrier)), session_(std::move(session)) {}

TlsStream::~TlsStream() {
  Close();
}

void TlsStream::ResumeSessionOf(const TlsStream& established) {
  session_->ResumeSessionOf(*established.session_);
}

void TlsStream::SetClient(unsigned events, Client client) {
  events_ = events;
  client_ = client ? std::make_shared<Client>(std::move(client)) : nullptr;
  // Bytes already waiting are announced again under the new interest.
  if (HasBytesAvailable() || tls_ended_) Post(kEventNone);
}

bool TlsStream::Open(std::shared_ptr<runtime::RunLoop> loop) {
  if (status_ != StreamStatus::kNotOpen) return false;
  const StreamStatus carrier_status = carrier_->Status();
  if (carrier_status == StreamStatus::kOpen) {
    loop_ = carrier_->Loop();
  } else {
    loop_ = loop ? std::move(loop) : runtime::RunLoop::Current();
  }
  if (!loop_) return false;
  std::weak_ptr<char> alive = alive_;
  posted_source_ = runtime::Source::Create([this, alive] {
    if (!alive.expired()) PerformPosted();
  });
  loop_->AddSource(posted_source_);
  carrier_->SetClient(0, [this](StreamEvent e) { OnCarrierEvent(e); });
  status_ = StreamStatus::kOpening;
  if (carrier_status == StreamStatus::kNotOpen) {
    if (!carrier_->Open(loop_)) return false;
    UpdateCarrierInterest();
  } else {
    // Already connected: start talking once the caller has returned.
    UpdateCarrierInterest();
    loop_->Perform([this, alive] {
      if (!alive.expired()) Step();
    });
  }
  return true;
}

void TlsStream::UpdateCarrierInterest() {
  unsigned events = kEventError | kEventOpenCompleted;
  if (!tls_ended_ && session_->IncomingSize() < kIncomingLimit) events |= kEventHasBytes | kEventEnd;
  if (!outgoing_.empty()) events |= kEventCanAcceptBytes;
  carrier_->SetEvents(events);
}

void TlsStream::OnCarrierEvent(StreamEvent event) {
  if (status_ == StreamStatus::kError || status_ == StreamStatus::kClosed) return;
  switch (event) {
    case kEventOpenCompleted:
      Step();
      break;
    case kEventHasBytes:
      PullFromCarrier();
      Step();
      break;
    case kEventEnd:
      session_->IncomingEnded();
      carrier_ended_ = true;
      Step();
      break;
    case kEventCanAcceptBytes:
      Flush();
      if (outgoing_.empty() && can_accept_armed_) Post(kEventCanAcceptBytes);
      break;
    case kEventError:
      Fail(carrier_->Error());
      break;
    default:
      break;
  }
}

std::size_t TlsStream::PullFromCarrier() {
  char buffer[kCarrierReadSize];
  std::size_t pulled = 0;
  while (!tls_ended_ && session_->IncomingSize() < kIncomingLimit) {
    const std::ptrdiff_t n = carrier_->Read(buffer, sizeof buffer);
    if (n > 0) {
      session_->PutIncoming(buffer, static_cast<std::size_t>(n));
      pulled += static_cast<std::size_t>(n);
      if (static_cast<std::size_t>(n) < sizeof buffer) break;
      continue;
    }
    if (n == kStreamAtEnd) {
      session_->IncomingEnded();
      carrier_ended_ = true;
    }
    if (n == kStreamFailed) Fail(carrier_->Error());
    break;
  }
  return pulled;
}

bool TlsStream::Prime() {
  if (tls_ended_ || session_->PendingPlain() > 0) return true;
  const TlsResult r = session_->Peek();
  if (r == TlsResult::kClosed) tls_ended_ = true;
  if (r == TlsResult::kError) {
    Flush();
    Fail(session_->Error());
    return false;
  }
  return true;
}

void TlsStream::Step() {
  if (status_ == StreamStatus::kError || status_ == StreamStatus::kClosed) return;
  if (!session_->IsHandshakeDone()) {
    const TlsResult r = session_->Handshake();
    Flush();
    if (status_ == StreamStatus::kError) return;
    if (r == TlsResult::kWouldBlock) {
      UpdateCarrierInterest();
      return;
    }
    if (r != TlsResult::kOk) {
      StreamError e = session_->Error();
      if (!e) e = {ErrorDomain::kSsl, tls_code::kClosedAbort};
      Fail(e);
      return;
    }
    status_ = StreamStatus::kOpen;
    can_accept_armed_ = true;
    Post(static_cast<StreamEvent>(kEventOpenCompleted | kEventCanAcceptBytes));
  }
  // Only one record is decrypted here, to learn whether there is something to read; the
  // rest is decrypted by Read straight into the reader's buffer.
  if (!Prime()) return;
  Flush();
  if (HasBytesAvailable() || tls_ended_) Post(kEventNone);
  UpdateCarrierInterest();
}

void TlsStream::Flush() {
  std::string more = session_->TakeAllOutgoing();
  if (outgoing_.empty()) {
    outgoing_ = std::move(more);
  } else {
    outgoing_ += more;
  }
  std::size_t sent = 0;
  while (sent < outgoing_.size()) {
    const std::ptrdiff_t n = carrier_->Write(outgoing_.data() + sent, outgoing_.size() - sent);
    if (n <= 0) {
      if (n == kStreamFailed && status_ != StreamStatus::kError && status_ != StreamStatus::kClosed)
        Fail(carrier_->Error());
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  outgoing_.erase(0, sent);
  if (shut_after_flush_ && outgoing_.empty()) {
    shut_after_flush_ = false;
    carrier_->ShutdownWriting();
  }
}

void TlsStream::ShutdownWriting() {
  if (status_ != StreamStatus::kOpen && status_ != StreamStatus::kAtEnd) return;
  session_->Close();
  shut_after_flush_ = true;
  Flush();
}

void TlsStream::Fail(StreamError error) {
  if (status_ == StreamStatus::kError) return;
  error_ = error;
  status_ = StreamStatus::kError;
  carrier_->SetClient(0, nullptr);
  Post(kEventError);
}

void TlsStream::Post(StreamEvent event) {
  posted_ |= event;
  if (posted_source_) posted_source_->Signal();
}

void TlsStream::PerformPosted() {
  const unsigned posted = std::exchange(posted_, 0u);
  if (status_ == StreamStatus::kError) {
    if (posted & kEventError) Deliver(kEventError);
    return;
  }
  if ((posted & kEventOpenCompleted) && !Deliver(kEventOpenCompleted)) return;
  if (HasBytesAvailable()) {
    if (!Deliver(kEventHasBytes)) return;
    // Level-triggered: bytes still waiting are announced again on the next pass.
    if ((HasBytesAvailable() && (events_ & kEventHasBytes) && client_) ||
        (!HasBytesAvailable() && tls_ended_))
      Post(kEventNone);
  } else if (tls_ended_ && !end_delivered_ && status_ != StreamStatus::kClosed) {
    status_ = StreamStatus::kAtEnd;
    if (events_ & kEventEnd) {
      end_delivered_ = true;
      if (!Deliver(kEventEnd)) return;
    }
  }
  if ((posted & kEventCanAcceptBytes) && can_accept_armed_ && outgoing_.empty() &&
      (status_ == StreamStatus::kOpen || status_ == StreamStatus::kAtEnd)) {
    can_accept_armed_ = false;
    Deliver(kEventCanAcceptBytes);
  }
}

bool TlsStream::Deliver(StreamEvent event) {
  if (!(events_ & event) || !client_) return true;
  std::weak_ptr<char> alive = alive_;
  std::shared_ptr<Client> client = client_;
  (*client)(event);
  return !alive.expired();
}

void TlsStream::Close() {
  if (status_ == StreamStatus::kOpen || status_ == StreamStatus::kAtEnd) {
    session_->Close();
    std::string bye = session_->TakeAllOutgoing();
    if (outgoing_.empty() && !bye.empty()) carrier_->Write(bye.data(), bye.size());
  }
  if (posted_source_) {
    posted_source_->Invalidate();
    if (loop_) loop_->RemoveSource(posted_source_);
    posted_source_.reset();
  }
  if (carrier_) carrier_->Close();
  if (status_ != StreamStatus::kNotOpen && status_ != StreamStatus::kError) status_ = StreamStatus::kClosed;
}

std::ptrdiff_t TlsStream::Read(void* out, std::size_t size) {
  if (status_ == StreamStatus::kError) return kStreamFailed;
  if (!session_->IsHandshakeDone() || status_ == StreamStatus::kClosed) return kStreamWouldBlock;
  auto* bytes = static_cast<char*>(out);
  std::size_t got = 0;
  while (got < size && !tls_ended_) {
    std::size_t n = 0;
    const TlsResult r = session_->Read(bytes + got, size - got, n);
    if (r == TlsResult::kOk) {
      got += n;
      continue;
    }
    if (r == TlsResult::kClosed) {
      tls_ended_ = true;
      break;
    }
    if (r == TlsResult::kError) {
      Flush();
      Fail(session_->Error());
      return got > 0 ? static_cast<std::ptrdiff_t>(got) : kStreamFailed;
    }
    // The session needs more: take what the carrier already has, a bounded amount.
    if (carrier_ended_ || PullFromCarrier() == 0) break;
    if (status_ == StreamStatus::kError) return got > 0 ? static_cast<std::ptrdiff_t>(got) : kStreamFailed;
  }
  // Reading may have produced replies (key updates) and freed room for the carrier.
  if (status_ != StreamStatus::kError) {
    Prime();
    Flush();
    if (status_ != StreamStatus::kError) UpdateCarrierInterest();
  }
  if (got > 0) return static_cast<std::ptrdiff_t>(got);
  if (status_ == StreamStatus::kError) return kStreamFailed;
  if (tls_ended_ && !HasBytesAvailable()) {
    status_ = StreamStatus::kAtEnd;
    return kStreamAtEnd;
  }
  return kStreamWouldBlock;
}

std::ptrdiff_t TlsStream::Write(const void* data, std::size_t size) {
  if (status_ == StreamStatus::kError) return kStreamFailed;
  if (!session_->IsHandshakeDone() || size == 0 || outgoing_.size() >= kOutgoingLimit) {
    can_accept_armed_ = true;
    return kStreamWouldBlock;
  }
  std::size_t written = 0;
  const TlsResult r = session_->Write(data, size, written);
  if (r == TlsResult::kError) {
    Fail(session_->Error());
    return kStreamFailed;
  }
  Flush();
  can_accept_armed_ = true;
  if (outgoing_.empty()) {
    Post(kEventCanAcceptBytes);
  } else {
    UpdateCarrierInterest();
  }
  if (status_ == StreamStatus::kError) return kStreamFailed;
  return written > 0 ? static_cast<std::ptrdiff_t>(written) : kStreamWouldBlock;
}

}  // namespace net
