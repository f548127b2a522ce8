#include "app/engine/task/download_run.h"

#include <algorithm>

#include "app/engine/limits/limit_settings.h"
#include "app/engine/urls/url_entries.h"
#include "app/engine/urls/url_list.h"

namespace engine {

DownloadStream::DownloadStream(DownloadRun& run, std::size_t index, LongRange r)
    : owner(run), entryIndex(index), range(r), writeOffset(r.location) {
  if (auto url = EntryURL(Entry())) url_ = *url;
  lastActivity = owner.Now();
}

DownloadStream::~DownloadStream() {
  Close();
}

values::Value& DownloadStream::Entry() {
  return owner.urlEntries().at(entryIndex);
}

const DownloadFacts& DownloadStream::Download() const {
  return owner.facts_;
}

std::any& DownloadStream::DownloadSlot(std::string_view key) {
  return owner.Slot(key);
}

void DownloadStream::MarkValidated() {
  needsValidation = false;
  if (auto* d = Entry().AsDictionary()) (*d)[kEntryValidated] = true;
}

void DownloadStream::LearnFileSize(std::int64_t size) {
  owner.LearnFileSize(*this, size);
}

void DownloadStream::ProposeFileName(std::string_view name, bool fromPageTitle) {
  owner.ProposeFileName(name, fromPageTitle);
}

void DownloadStream::ApplyPendingRanges() {
  owner.ApplyPendingRanges();
}

void DownloadStream::LowerWantedConnections() {
  owner.facts_.wantedConnections = std::max(1, owner.facts_.wantedConnections - 1);
}

void DownloadStream::WatchReachability() {
  owner.WatchReachability(*this);
}

void DownloadStream::SetError(net::StreamError e, std::string text) {
  error = e;
  errorText = std::move(text);
}

void DownloadStream::Log(std::string_view line) {
  owner.Log(line);
}

void DownloadStream::NoteActivity() {
  lastActivity = owner.Now();
}

std::span<std::uint8_t> DownloadStream::ReadBuffer() {
  // Grows only: a shrink keeps the storage, so a busy-idle-busy connection does not
  // allocate again.
  if (buffer.size() < bufferSize) buffer.resize(bufferSize);
  return {buffer.data(), bufferSize};
}

bool DownloadStream::WriteReceived(std::size_t count) {
  count = std::min(count, bufferSize);
  const std::size_t asked = bufferSize;
  const std::size_t growth = transportType_ ? transportType_->BufferGrowth() : 32768;
  // The buffer follows the traffic before the write, which may end the connection.
  if (count == asked && bufferSize <= kMaxGrowableReadBuffer) {
    bufferSize += growth;
  } else if (count <= asked / 2 && bufferSize > kMinShrinkableReadBuffer) {
    bufferSize -= kReadBufferShrink;
  }
  return owner.WriteStreamData(*this, std::span<const std::uint8_t>(buffer.data(), count), true);
}

bool DownloadStream::WriteBytes(std::span<const std::uint8_t> bytes) {
  return owner.WriteStreamData(*this, bytes, false);
}

std::size_t DownloadStream::RequestBandwidth(std::size_t wanted) {
  return owner.RequestBandwidth(wanted);
}

void DownloadStream::ReportTransfer(std::size_t unusedGrant, std::size_t moved) {
  owner.ReportTransfer(unusedGrant, moved);
}

std::optional<DownloadConnection::PipeTarget> DownloadStream::SplicePipe() {
  return owner.SplicePipeFor(*this);
}

bool DownloadStream::WriteSpliced(std::size_t count) {
  return owner.WriteSplicedData(*this, count);
}

bool DownloadStream::End(std::uint32_t flags) {
  return owner.StreamEnded(*this, flags);
}

// The same way as the queue's stop: through the stop source, on the next pass of the loop.
void DownloadStream::StopDownload() {
  owner.stopSource_->Signal();
}

bool DownloadStream::OpenReplacement(std::optional<values::Url> url, std::any carry) {
  return owner.OpenReplacement(*this, std::move(url), std::move(carry));
}

bool DownloadStream::Open() {
  transportType_ = owner.transports().Find(url_.Scheme());
  if (!transportType_) {
    SetError({net::ErrorDomain::kPosix, 43}, "No transport for the URL's scheme");
    return false;
  }
  transport_ = transportType_->Open(*this);
  if (!transport_) return false;
  ++owner.facts_.openConnections;
  lastActivity = owner.Now();
  return true;
}

void DownloadStream::Close() {
  if (!transport_) return;
  transport_->Close();
  // Destroyed with this stream, after the callback that ended it has returned.
  --owner.facts_.openConnections;
  closedTransport_ = std::move(transport_);
}

}  // namespace engine
