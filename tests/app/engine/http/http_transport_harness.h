#pragma once
// A minimal engine side for HTTP transport tests: one download with one mirror, whose
// connections write into a string and record how they end. Replacements (redirects,
// answers to challenges) are opened through the transport like the engine does, so a
// whole exchange runs on the test thread's loop.

#include <any>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/engine/http/http_transport.h"
#include "app/engine/task/download_transport.h"
#include "tests/platform/net/net_test_support.h"

namespace engine::testing {

class FakeDownload;

class FakeConnection : public DownloadConnection {
 public:
  FakeConnection(FakeDownload& d, values::Url url, LongRange range, bool needsValidation, std::any carried)
      : d_(d),
        url_(std::move(url)),
        range_(range),
        writeOffset_(range.location),
        needsValidation_(needsValidation),
        carried_(std::move(carried)),
        buffer_(24576) {}

  const values::Url& URL() const override { return url_; }
  values::Value& Entry() override;
  LongRange Range() const override { return range_; }
  std::int64_t WriteOffset() const override { return writeOffset_; }
  std::int64_t BytesDone() const override { return bytesDone_; }
  bool NeedsValidation() const override { return needsValidation_; }
  bool IsSoleConnection() const override;
  std::int64_t ServerSize() const override { return serverSize_; }
  void SetServerSize(std::int64_t size) override { serverSize_ = size; }
  const DownloadFacts& Download() const override;
  std::any& DownloadSlot(std::string_view key) override;
  std::any& Carried() override { return carried_; }
  void MarkValidated() override;
  void LearnFileSize(std::int64_t size) override;
  void ProposeFileName(std::string_view name, bool) override;
  void ApplyPendingRanges() override {}
  void LowerWantedConnections() override;
  void SetPeerCertificates(std::vector<net::Certificate> chain) override { peer_ = std::move(chain); }
  void SetError(net::StreamError error, std::string text) override;
  void Log(std::string_view line) override;
  void NoteActivity() override {}
  void SetTimeout(double seconds) override { timeout_ = seconds; }
  std::span<std::uint8_t> ReadBuffer() override { return buffer_; }
  bool WriteReceived(std::size_t count) override { return WriteBytes({buffer_.data(), count}); }
  bool WriteBytes(std::span<const std::uint8_t> bytes) override;
  std::size_t RequestBandwidth(std::size_t wanted) override { return wanted; }
  void ReportTransfer(std::size_t, std::size_t) override {}
  bool End(std::uint32_t flags) override;
  void StopDownload() override { ++downloadStops; }
  int downloadStops = 0;
  bool OpenReplacement(std::optional<values::Url> url, std::any carried) override;

  bool Open();
  double timeout() const { return timeout_; }

 private:
  FakeDownload& d_;
  values::Url url_;
  LongRange range_;
  std::int64_t writeOffset_ = 0;
  std::int64_t bytesDone_ = 0;
  bool needsValidation_ = true;
  std::int64_t serverSize_ = -1;
  std::any carried_;
  std::vector<std::uint8_t> buffer_;
  std::vector<net::Certificate> peer_;
  double timeout_ = 0;
  bool ended_ = false;
  std::unique_ptr<TransportConnection> transport_;
};

class FakeDownload {
 public:
  explicit FakeDownload(const std::string& url) {
    entry = values::Value(values::Dictionary{{"url", values::Value(url)}});
    facts.userAgent = "TruvaneTest/1";
  }

  // Opens a first connection for `range` and runs the loop until no connection is open.
  bool Run(LongRange range = {0, kOpenEndLength},
           std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    auto first = std::make_unique<FakeConnection>(*this, *values::Url::Create(*entry.Find("url")->AsString()),
                                                  range, true, std::any());
    FakeConnection* c = first.get();
    connections.push_back(std::move(first));
    if (!c->Open()) return false;
    return net::testing::RunUntil([&] { return active == 0; }, limit);
  }
  std::string EntryString(const char* key) const {
    const values::Value* v = entry.Find(key);
    return v && v->IsString() ? *v->AsString() : std::string();
  }
  bool EntryFlag(const char* key) const {
    const values::Value* v = entry.Find(key);
    return v && v->AsBool() && *v->AsBool();
  }
  std::string LogText() const {
    std::string all;
    for (const auto& l : log) all += l + "\n";
    return all;
  }

  HttpTransport transport;
  DownloadFacts facts;
  values::Value entry;
  std::string file;
  std::vector<std::string> log;
  std::vector<std::uint32_t> ends;
  std::vector<std::string> names;
  net::StreamError error;
  std::string errorText;
  std::map<std::string, std::any, std::less<>> slots;
  std::vector<std::unique_ptr<FakeConnection>> connections;
  int active = 0;
};

inline values::Value& FakeConnection::Entry() {
  return d_.entry;
}
inline bool FakeConnection::IsSoleConnection() const {
  const values::Value* v = d_.entry.Find("norestarts");
  return v && v->AsBool() && *v->AsBool();
}
inline const DownloadFacts& FakeConnection::Download() const {
  return d_.facts;
}
inline std::any& FakeConnection::DownloadSlot(std::string_view key) {
  auto it = d_.slots.find(key);
  if (it == d_.slots.end()) it = d_.slots.emplace(std::string(key), std::any()).first;
  return it->second;
}
inline void FakeConnection::MarkValidated() {
  needsValidation_ = false;
  (*d_.entry.AsDictionary())["validated"] = values::Value(true);
}
inline void FakeConnection::LearnFileSize(std::int64_t size) {
  if (d_.facts.sizeKnown || size < 0) return;
  d_.facts.totalSize = size;
  d_.facts.sizeKnown = true;
}
inline void FakeConnection::ProposeFileName(std::string_view name, bool) {
  d_.names.emplace_back(name);
}
inline void FakeConnection::LowerWantedConnections() {
  if (d_.facts.wantedConnections > 1) --d_.facts.wantedConnections;
}
inline void FakeConnection::SetError(net::StreamError error, std::string text) {
  d_.error = error;
  d_.errorText = std::move(text);
}
inline void FakeConnection::Log(std::string_view line) {
  d_.log.emplace_back(line);
}

inline bool FakeConnection::WriteBytes(std::span<const std::uint8_t> bytes) {
  std::size_t n = bytes.size();
  bool done = false;
  if (range_.length > 0 && bytesDone_ + static_cast<std::int64_t>(n) >= range_.length) {
    n = static_cast<std::size_t>(range_.length - bytesDone_);
    done = true;
  }
  if (d_.file.size() < static_cast<std::size_t>(writeOffset_) + n) d_.file.resize(writeOffset_ + n);
  d_.file.replace(static_cast<std::size_t>(writeOffset_), n, reinterpret_cast<const char*>(bytes.data()), n);
  writeOffset_ += static_cast<std::int64_t>(n);
  bytesDone_ += static_cast<std::int64_t>(n);
  if (done) {
    End(kStreamDone);
    return false;
  }
  return true;
}

inline bool FakeConnection::End(std::uint32_t flags) {
  d_.ends.push_back(flags);
  if ((flags & kStreamWholeFile) && (flags & kStreamKeepAsWhole)) {
    // One mirror: this connection goes on with the whole file from 0.
    (*d_.entry.AsDictionary())["norestarts"] = values::Value(true);
    writeOffset_ = 0;
    bytesDone_ = 0;
    range_ = {0, kOpenEndLength};
    d_.file.clear();
    return false;
  }
  if (ended_) return true;
  ended_ = true;
  if (transport_) transport_->Close();
  --d_.active;
  return true;
}

inline bool FakeConnection::Open() {
  transport_ = d_.transport.Open(*this);
  if (!transport_) return false;
  ++d_.active;
  return true;
}

inline bool FakeConnection::OpenReplacement(std::optional<values::Url> url, std::any carried) {
  auto next =
      std::make_unique<FakeConnection>(d_, url ? *url : url_, range_, needsValidation_, std::move(carried));
  FakeConnection* c = next.get();
  d_.connections.push_back(std::move(next));
  return c->Open();
}

}  // namespace engine::testing
