#include "app/sharing/fileserver/transfer_reception.h"

#include <sys/socket.h>
#include <sys/statvfs.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "app/engine/task/stream_progress.h"
#include "app/sharing/fileserver/file_server_events.h"
#include "app/sharing/fileserver/file_transfer_server.h"
#include "app/sharing/fileserver/transfer_cancel_source.h"
#include "app/sharing/received/partial_received_file.h"
#include "app/sharing/services/received_files_service.h"
#include "app/util/desktop/notification_bridges.h"
#include "app/util/helpers/task_helpers.h"
#include "platform/values/uuid.h"

namespace sharing {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxNumberText = 31;
constexpr auto kFileInfoEvery = std::chrono::seconds(10);
constexpr auto kProgressEvery = std::chrono::milliseconds(1600);
constexpr auto kAbortLinger = std::chrono::milliseconds(300);
constexpr int kRateSamples = 10;
constexpr int kServerBuild = 5070;

// Bytes free for this user on the disk that holds `path`; nothing when unknown.
std::optional<std::int64_t> FreeSpace(const fs::path& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return std::nullopt;
  const unsigned long long bytes = static_cast<unsigned long long>(st.f_bavail) * st.f_frsize;
  return bytes > static_cast<unsigned long long>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(bytes);
}

std::string StatusReply(std::int64_t downloaded, std::int64_t total, const std::string& publicKey) {
  char head[160];
  std::snprintf(head, sizeof head,
                "HTTP/1.1 200 OK\r\nX-Content-Range: 0-%lld/%lld\r\nServer: Truvane v%d\r\n",
                static_cast<long long>(downloaded), static_cast<long long>(total), kServerBuild);
  std::string reply = head;
  if (!publicKey.empty()) reply += "X-Server-Public-Key: " + publicKey + "\r\n";
  return reply + "\r\n";
}

std::optional<std::int64_t> OptionalInteger(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > kMaxNumberText) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text->c_str(), &end, 10);
  if (errno != 0 || end == text->c_str()) return std::nullopt;
  return v;
}

std::optional<double> OptionalReal(const std::optional<std::string>& text) {
  if (!text || text->empty() || text->size() > kMaxNumberText) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text->c_str(), &end);
  if (end == text->c_str() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string ReceptionLog(const std::string& file, const std::string& user, const std::string& host,
                         bool finished, long long bytes, double seconds) {
  char tail[96];
  std::snprintf(tail, sizeof tail, "%lld bytes in %.1f seconds", bytes, seconds);
  return "Transfer of " + file + " from user " + user + "@" + host +
         (finished ? " finished, " : " aborted, ") + tail;
}

void EndReception(ReceptionCounters& counters) {
  {
    std::lock_guard lock(counters.mutex);
    counters.running -= 1;
    std::erase_if(counters.cancels, [](const auto& c) { return c.expired(); });
  }
  util::PostUploadServersChanged();
}

void WatchCancel(ReceptionCounters& counters, const std::shared_ptr<TransferCancelSource>& cancel) {
  std::lock_guard lock(counters.mutex);
  if (counters.cancelled) cancel->Signal();
  counters.cancels.push_back(cancel);
}

}  // namespace

void CancelAllReceptions(ReceptionCounters& counters) {
  std::vector<std::shared_ptr<TransferCancelSource>> running;
  {
    std::lock_guard lock(counters.mutex);
    counters.cancelled = true;
    for (const auto& c : counters.cancels)
      if (auto live = c.lock()) running.push_back(std::move(live));
  }
  for (const auto& cancel : running) cancel->Signal();
}

std::int64_t ReceptionStartOffset(const std::string& contentRange) {
  const std::string text = contentRange.substr(0, kMaxNumberText);
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || errno != 0) return 0;
  return v < 0 ? -1 : v;
}

std::int64_t ReceptionSizeHeader(const std::optional<std::string>& text) {
  const auto v = OptionalInteger(text);
  return v && *v > 0 ? *v : 0;
}

void AnswerUploadStatus(const ReceptionRequest& r) {
  const auto settings = util::CurrentSettings();
  if (!r.login.canUpload || settings->maxUploads <= 0) {
    r.wire.WriteAll(TransferStatusReply(403));
    return;
  }
  const std::string query = QueryOf(r.head.target());
  const auto uuid = values::Uuid::Parse(query);
  if (!uuid) {
    r.wire.WriteAll(TransferStatusReply(400));
    return;
  }
  const auto folder = ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(true);
  if (!folder) {
    r.wire.WriteAll(TransferStatusReply(500));
    return;
  }
  const std::string uid = uuid->ToString();
  if (const auto info = ReadPartialFileInfo(*folder, r.login.user, uid)) {
    r.wire.WriteAll(StatusReply(info->downloaded, info->total(), r.publicKey));
    return;
  }
  const std::int64_t dataSize = ReceptionSizeHeader(r.head.Header("X-Tr-Filesize"));
  const std::int64_t rsrcSize = ReceptionSizeHeader(r.head.Header("X-Tr-Resource-Filesize"));
  values::Dictionary metadata;
  const std::pair<const char*, const char*> integers[] = {{"creator", "X-Tr-Creator"},
                                                          {"type", "X-Tr-Type"},
                                                          {"mode", "X-Tr-Mode"},
                                                          {"finderFlags", "X-Tr-Finderflags"}};
  for (const auto& [key, header] : integers) {
    if (auto v = OptionalInteger(r.head.Header(header)))
      metadata[key] = values::Value(values::Number::Int64(*v));
  }
  const std::pair<const char*, const char*> reals[] = {{"modified", "X-Tr-Modification-Date"},
                                                       {"created", "X-Tr-Creation-Date"}};
  for (const auto& [key, header] : reals) {
    if (auto v = OptionalReal(r.head.Header(header))) metadata[key] = values::Value(*v);
  }
  // A file that cannot fit is refused before a package is made for it.
  const auto free = FreeSpace(*folder);
  const bool fits = dataSize <= kMaxReceivedFileSize && rsrcSize <= kMaxReceivedFileSize - dataSize &&
                    (!free || dataSize + rsrcSize <= *free);
  if (!fits ||
      !CreatePartialReceivedFile(*folder, r.login.user, uid, r.head.Header("X-Tr-Filename").value_or(""),
                                 dataSize, rsrcSize, metadata)) {
    r.wire.WriteAll(TransferStatusReply(500));
    return;
  }
  r.wire.WriteAll(StatusReply(0, dataSize + rsrcSize, r.publicKey));
}

void ReceiveFile(const ReceptionRequest& r, ReceptionCounters& counters, TransferSendLimiter& limiter,
                 std::atomic<std::int64_t>& limiterRate) {
  const auto settings = util::CurrentSettings();
  if (!r.login.canUpload || settings->maxUploads <= 0) {
    r.wire.WriteAll(TransferStatusReply(403));
    return;
  }
  bool busy = false;
  {
    std::lock_guard lock(counters.mutex);
    busy = counters.running >= settings->maxUploads;
    if (!busy) counters.running += 1;
  }
  if (busy) {
    util::PostLogMessageEvent("Failed request from@" + r.host + "; maximum number of clients exceeded.");
    r.wire.WriteAll(TransferStatusReply(421));
    return;
  }
  // From here every way out gives the count back.
  struct Counted {
    ReceptionCounters& counters;
    ~Counted() { EndReception(counters); }
  } counted{counters};

  const auto uuid = values::Uuid::Parse(LastPathComponent(r.head.target()));
  const auto folder = ReceivedFilesServiceSlot::Get().GetReceivedFilesFolder(true);
  const std::string uid = uuid ? uuid->ToString() : std::string();
  auto info = uuid && folder ? ReadPartialFileInfo(*folder, r.login.user, uid) : std::nullopt;
  if (!info) {
    r.wire.WriteAll(TransferStatusReply(404));
    return;
  }
  const fs::path package = *PartialFolderPath(*folder, r.login.user, uid);
  const std::int64_t start = ReceptionStartOffset(r.head.Header("Content-Range").value_or(""));
  // A start past the bytes held would leave a hole in the file that nobody ever fills.
  PartialFileWriter writer(package, *info);
  if (start < 0 || start > info->downloaded || !writer.Open(start)) {
    r.wire.WriteAll(TransferStatusReply(500));
    return;
  }
  SessionCipherPtr cipher;
  if (!TakeTransferSessionKey(r.head, cipher)) {
    r.wire.WriteAll(TransferBadSessionReply(r.publicKey));
    return;
  }
  const std::int64_t left = info->total() - start;
  const auto length = OptionalInteger(r.head.Header("Content-Length"));
  const auto free = FreeSpace(package);
  if (free && std::min<std::int64_t>(length.value_or(left), left) > *free) {
    r.wire.WriteAll(TransferStatusReply(500));
    return;
  }

  std::uint32_t transferID = 0;
  {
    std::lock_guard lock(counters.mutex);
    transferID = counters.nextID++;
  }
  auto cancel = std::make_shared<TransferCancelSource>();
  r.wire.SetCancelFd(cancel->fd());
  WatchCancel(counters, cancel);
  const std::string name = ReceivedFileNameFrom(info->name);
  {
    auto event = runtime::Event::Create(kFileServerEventClass, kFileServerReceptionStarted);
    event->SetFileRef(values::FourCC("File"), (package / "data").string());
    event->SetObject(values::FourCC("Canc"), cancel);
    event->SetString(values::FourCC("UID "), uid);
    event->SetString(values::FourCC("Fnam"), name);
    event->SetString(values::FourCC("Unam"), r.login.user);
    event->SetString(values::FourCC("IP__"), r.host);
    event->SetInt64(values::FourCC("DSiz"), info->dataSize);
    event->SetInt64(values::FourCC("Size"), info->total());
    event->SetUInt32(values::FourCC("ID__"), transferID);
    PostFileServerEvent(std::move(event));
  }
  util::PostUploadServersChanged();

  const auto startTime = Clock::now();
  bool ok = r.wire.WriteAll("HTTP/1.1 200 OK\r\nServer: Truvane v5070\r\nConnection: close\r\n\r\n");
  std::vector<char> buffer(kTransferFirstBuffer);
  auto nextFileInfo = startTime + kFileInfoEvery;
  auto nextProgress = startTime + kProgressEvery;
  std::array<std::int64_t, kRateSamples> totals{};
  std::array<double, kRateSamples> times{};
  int samples = 0;
  float speed = 0;
  while (ok && writer.position() < info->total()) {
    std::size_t step = buffer.size();
    std::int64_t grant = 0;
    const util::BandwidthLimit limit = util::CurrentSettings()->serverReceiveBandwidth;
    if (limit.status) {
      if (limiterRate.exchange(limit.limit) != limit.limit) limiter.SetRate(limit.limit);
      grant = limiter.Request(static_cast<std::int64_t>(step), Clock::now());
      if (grant <= 0) {
        ok = r.wire.SleepUntil(limiter.NextTick()) && !cancel->signalled();
        continue;
      }
      step = static_cast<std::size_t>(grant);
    }
    step = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(step), info->total() - writer.position()));
    const long n = r.wire.Read(buffer.data(), step);
    std::int64_t moved = 0;
    if (n > 0) {
      if (cipher)
        SessionCipherApply(*cipher, reinterpret_cast<std::uint8_t*>(buffer.data()),
                           static_cast<std::size_t>(n));
      moved = writer.Write(buffer.data(), static_cast<std::size_t>(n));
    }
    if (limit.status)
      limiter.Return(grant - std::max<std::int64_t>(moved, 0), std::max<std::int64_t>(moved, 0),
                     Clock::now());
    if (n <= 0 || moved != n || cancel->signalled()) break;
    if (static_cast<std::size_t>(n) == buffer.size() && buffer.size() < kTransferLargestBuffer) {
      buffer.assign(buffer.size() + kTransferBufferGrowth, 0);
    }
    const auto now = Clock::now();
    if (now >= nextFileInfo) {
      info->downloaded = writer.position();
      UpdatePartialFileInfo(*folder, r.login.user, uid, *info);
      nextFileInfo = now + kFileInfoEvery;
    }
    if (now >= nextProgress) {
      for (int i = kRateSamples - 1; i > 0; --i) {
        totals[i] = totals[i - 1];
        times[i] = times[i - 1];
      }
      totals[0] = writer.position();
      times[0] = std::chrono::duration<double>(now - startTime).count();
      samples = std::min(samples + 1, kRateSamples);
      auto event = runtime::Event::Create(kFileServerEventClass, kFileServerReceptionProgress);
      event->SetString(values::FourCC("UID "), uid);
      event->SetInt64(values::FourCC("Tot_"), writer.position());
      if (samples >= 2) {
        speed = engine::EstimateTransferRate(totals.data(), times.data(), samples);
        event->SetFloat(values::FourCC("Sped"), speed);
      }
      PostFileServerEvent(std::move(event));
      nextProgress = now + kProgressEvery;
    }
  }

  const double elapsed = std::chrono::duration<double>(Clock::now() - startTime).count();
  info->seconds += elapsed;
  info->downloaded = writer.position();
  UpdatePartialFileInfo(*folder, r.login.user, uid, *info);
  const bool complete = writer.position() >= info->total();
  std::optional<fs::path> received;
  if (complete) {
    util::PostLogMessageEvent(
        ReceptionLog(info->name, r.login.user, r.host, true, info->total(), info->seconds));
    speed = info->seconds > 0
                ? static_cast<float>(static_cast<double>(info->total()) / info->seconds / 1024.0)
                : 0;
    received = CompletePartialReceivedFile(*folder, r.login.user, uid, *info);
  } else {
    util::PostLogMessageEvent(
        ReceptionLog(info->name, r.login.user, r.host, false, writer.position() - start, info->seconds));
    if (cancel->signalled() || r.wire.Stopped()) {
      // The sending copy learns that this one stopped, and keeps the upload for later.
      ::send(r.wire.fd(), kTransferAbortMarker, sizeof kTransferAbortMarker - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      std::this_thread::sleep_for(kAbortLinger);
    }
  }
  auto event = runtime::Event::Create(kFileServerEventClass, kFileServerReceptionEnded);
  event->SetUInt32(values::FourCC("ID__"), transferID);
  event->SetString(values::FourCC("UID "), uid);
  if (received) {
    event->SetFileRef(values::FourCC("File"), received->string());
    event->SetString(values::FourCC("Name"), received->filename().string());
    event->SetString(values::FourCC("IP  "), r.host);
    if (speed > 0) event->SetFloat(values::FourCC("Sped"), speed);
  }
  PostFileServerEvent(std::move(event));
}

}  // namespace sharing
