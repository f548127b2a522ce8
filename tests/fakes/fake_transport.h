#pragma once
// A download transport for tests of the scheduler: it serves one file from memory over
// the connection interface the real transports use, one chunk per run-loop pass, so
// several connections interleave as they would on a network.
//
// What it plays, switch by switch:
//   - a server that honours ranges (default), or one that answers a range with the
//     whole file and says so (`reportsWholeFile`: ends with error + whole-file), or one
//     that silently sends the file's start for any range (`sendsStartForRanges`: the
//     resume check must catch it);
//   - scripted failures: `failures[n]` makes the n-th opened connection (from 0) fail
//     after that many bytes with the given flags; `refuseOpens` refuses the first opens;
//     `failEveryConnection` fails every connection at once (retry bounds);
//   - `stall`: connections open and then say nothing (time-outs); `stallAfter`: they go
//     silent after that many bytes each (stopping a download half-way);
//   - `omitSize`: the size is never reported (an open-ended body);
//   - `requireUser`: without that user the server wants credentials.
// Everything it saw is recorded (ranges asked for, open count, bytes handed over) under a lock, since tests
// read it from their own thread.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/engine/task/download_transport.h"
#include "platform/runtime/run_loop.h"

class FakeTransport : public engine::DownloadTransport {
 public:
  struct Failure {
    std::int64_t afterBytes = 0;
    std::uint32_t flags = engine::kStreamError;
    net::StreamError error{net::ErrorDomain::kPosix, net::posix_code::kConnectionReset};
  };

  std::vector<std::uint8_t> content;
  std::size_t chunk = 8192;
  bool resumeCheck = true;
  bool reportsWholeFile = false;
  bool sendsStartForRanges = false;
  bool stall = false;
  std::int64_t stallAfter = -1;  // each connection goes silent after this many bytes
  bool omitSize = false;
  std::optional<std::string> requireUser;  // asks for credentials until the download has this user
  int refuseOpens = 0;
  bool failEveryConnection = false;
  std::map<int, Failure> failures;

  bool WantsResumeCheck() const override { return resumeCheck; }

  std::unique_ptr<engine::TransportConnection> Open(engine::DownloadConnection& connection) override;

  int OpenCount() {
    std::lock_guard lock(mutex);
    return opens;
  }
  std::vector<engine::LongRange> RangesAsked() {
    std::lock_guard lock(mutex);
    return asked;
  }
  int MaxSimultaneous() {
    std::lock_guard lock(mutex);
    return maxLive;
  }
  // Bytes every connection has handed to the download so far.
  std::int64_t BytesHandedOver() {
    std::lock_guard lock(mutex);
    return handedOver;
  }

  std::mutex mutex;
  int opens = 0;
  int live = 0;
  int maxLive = 0;
  std::int64_t handedOver = 0;
  std::vector<engine::LongRange> asked;
};

class FakeTransportConnection : public engine::TransportConnection {
 public:
  FakeTransportConnection(FakeTransport& transport, engine::DownloadConnection& connection,
                          std::optional<FakeTransport::Failure> failure)
      : transport_(transport), connection_(connection), failure_(failure) {
    {
      std::lock_guard lock(transport_.mutex);
      transport_.maxLive = std::max(transport_.maxLive, ++transport_.live);
    }
    Schedule();
  }
  ~FakeTransportConnection() override { Close(); }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    *alive_ = false;
    std::lock_guard lock(transport_.mutex);
    --transport_.live;
  }

 private:
  void Schedule() {
    std::weak_ptr<bool> alive = alive_;
    runtime::RunLoop::Current()->Perform([this, alive] {
      auto a = alive.lock();
      if (a && *a) Step();
    });
  }

  void Step() {
    if (transport_.stall) return;
    const auto size = static_cast<std::int64_t>(transport_.content.size());
    if (!responded_) {
      responded_ = true;
      const engine::LongRange r = connection_.Range();
      position_ = r.location;
      if (r.location != 0 && transport_.reportsWholeFile) {
        connection_.SetError({net::ErrorDomain::kHttp, 200}, "Server ignores ranges");
        connection_.End(engine::kStreamError | engine::kStreamWholeFile);
        return;
      }
      if (r.location != 0 && transport_.sendsStartForRanges) position_ = 0;
      if (transport_.requireUser && connection_.Download().user != transport_.requireUser) {
        connection_.SetError({net::ErrorDomain::kHttp, 401}, "Authorization required");
        connection_.End(engine::kStreamError | engine::kStreamNeedsAuth);
        return;
      }
      connection_.NoteActivity();
      if (!transport_.omitSize) connection_.LearnFileSize(size);
      if (connection_.NeedsValidation()) connection_.MarkValidated();
      connection_.ApplyPendingRanges();
      Schedule();
      return;
    }
    if (failure_ && sent_ >= failure_->afterBytes) {
      connection_.SetError(failure_->error, "Connection reset");
      connection_.End(failure_->flags);
      return;
    }
    if (transport_.stallAfter >= 0 && sent_ >= transport_.stallAfter) return;
    if (position_ >= size) {
      connection_.End(engine::kStreamDone);
      return;
    }
    auto buffer = connection_.ReadBuffer();
    std::size_t n =
        std::min<std::size_t>({buffer.size(), transport_.chunk, static_cast<std::size_t>(size - position_)});
    if (failure_) n = std::min<std::size_t>(n, static_cast<std::size_t>(failure_->afterBytes - sent_));
    if (transport_.stallAfter >= 0)
      n = std::min<std::size_t>(n, static_cast<std::size_t>(transport_.stallAfter - sent_));
    std::copy_n(transport_.content.begin() + position_, n, buffer.begin());
    position_ += static_cast<std::int64_t>(n);
    sent_ += static_cast<std::int64_t>(n);
    connection_.NoteActivity();
    // Counted once written; this connection may be gone when the write returns false.
    FakeTransport& transport = transport_;
    const bool goOn = connection_.WriteReceived(n);
    {
      std::lock_guard lock(transport.mutex);
      transport.handedOver += static_cast<std::int64_t>(n);
    }
    if (!goOn) return;
    Schedule();
  }

  FakeTransport& transport_;
  engine::DownloadConnection& connection_;
  std::optional<FakeTransport::Failure> failure_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool closed_ = false;
  bool responded_ = false;
  std::int64_t position_ = 0;
  std::int64_t sent_ = 0;
};

inline std::unique_ptr<engine::TransportConnection> FakeTransport::Open(
    engine::DownloadConnection& connection) {
  std::optional<Failure> failure;
  {
    std::lock_guard lock(mutex);
    const int index = opens++;
    asked.push_back(connection.Range());
    if (index < refuseOpens) {
      connection.SetError({net::ErrorDomain::kPosix, net::posix_code::kConnectionRefused},
                          "Connection refused");
      return nullptr;
    }
    if (failEveryConnection) {
      failure = Failure{};
    } else if (auto it = failures.find(index); it != failures.end()) {
      failure = it->second;
    }
  }
  return std::make_unique<FakeTransportConnection>(*this, connection, failure);
}
