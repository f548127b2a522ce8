#include "app/engine/log/transfer_log.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <span>
#include <vector>

#include "app/engine/services/download_event_keys.h"
#include "app/engine/services/transfer_log_records.h"
#include "platform/files/file_handle.h"
#include "platform/files/standard_folders.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/values/ascii.h"
#include "platform/values/clock.h"
#include "platform/values/date_time.h"
#include "platform/values/fourcc.h"
#include "platform/values/localize.h"
#include "platform/values/utf16.h"

namespace engine {
namespace {

constexpr std::string_view kHidden = "<hidden>";

// Header lines whose values are credentials or session secrets.
constexpr std::array<std::string_view, 5> kSecretHeaders = {"authorization", "proxy-authorization", "cookie",
                                                            "set-cookie", "x-session-key"};

// One line: a secret header keeps its name; a URL's password becomes "<hidden>".
void RedactLine(std::string_view line, std::string& out) {
  std::string_view trimmed = line;
  while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
  for (std::string_view header : kSecretHeaders) {
    if (values::AsciiStartsWithIgnoringCase(trimmed, header) && trimmed.size() > header.size() &&
        trimmed[header.size()] == ':') {
      out.append(line.substr(0, line.size() - trimmed.size() + header.size() + 1));
      out.append(" ");
      out.append(kHidden);
      return;
    }
  }
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t scheme = line.find("://", pos);
    if (scheme == std::string_view::npos) break;
    const std::size_t start = scheme + 3;
    std::size_t end = start;
    while (end < line.size() && line[end] != '/' && line[end] != ' ' && line[end] != '\t' &&
           line[end] != '"' && line[end] != '>' && line[end] != '<' && line[end] != '?' && line[end] != '#') {
      ++end;
    }
    const std::string_view authority = line.substr(start, end - start);
    const std::size_t at = authority.rfind('@');
    const std::size_t colon = at == std::string_view::npos ? at : authority.substr(0, at).find(':');
    out.append(line.substr(pos, start - pos));
    if (colon != std::string_view::npos) {
      out.append(authority.substr(0, colon + 1));
      out.append(kHidden);
      out.append(authority.substr(at));
    } else {
      out.append(authority);
    }
    pos = end;
  }
  out.append(line.substr(pos));
}

std::unique_ptr<GlobalLog>& GlobalLogSlot() {
  static std::unique_ptr<GlobalLog> log;
  return log;
}

// Messages logged before the log exists: start-up reads the queue, the uploads and the
// stored credentials before it makes the log, and what those readers report (a file set
// aside, a password kept as stored) must not be lost. The first `kHeldMessageLimit` are
// kept and logged when the log is made.
struct HeldMessage {
  bool isError = false;
  std::string message;
  std::optional<std::string> url;
};
constexpr std::size_t kHeldMessageLimit = 64;
std::vector<HeldMessage>& HeldMessages() {
  static std::vector<HeldMessage> held;
  return held;
}
std::mutex& HeldMutex() {
  static std::mutex m;
  return m;
}
void HoldMessage(bool isError, std::string message, const char* url) {
  std::lock_guard lock(HeldMutex());
  auto& held = HeldMessages();
  if (held.size() >= kHeldMessageLimit) return;
  held.push_back(
      {isError, std::move(message), url != nullptr ? std::optional<std::string>(url) : std::nullopt});
}

std::shared_ptr<runtime::EventTarget>& TargetSlot() {
  static std::shared_ptr<runtime::EventTarget> target;
  return target;
}
std::mutex& TargetMutex() {
  static std::mutex m;
  return m;
}

}  // namespace

std::string FormatGlobalLogEntry(bool isError, std::string_view date, std::string_view message,
                                 const char* url) {
  if (!isError) return values::Format("%@\r%@\r\r", {date, message});
  if (url == nullptr) return values::Format(values::Localized("%@\rError occurred:%@\r\r"), {date, message});
  return values::Format(values::Localized("%@\rError occurred while attempting to download URL %s:%@\r\r"),
                        {date, url, message});
}

std::string RedactSecretsForLog(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    const std::string_view line =
        text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    RedactLine(line, out);
    if (end == std::string_view::npos) break;
    out.push_back(text[end]);
    pos = end + 1;
  }
  return out;
}

std::string NormalizeLogLineEndings(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out.push_back('\r');
      ++i;
    } else {
      out.push_back(text[i] == '\n' ? '\r' : text[i]);
    }
  }
  return out;
}

std::string LogTextForFile(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i] == '\r' ? '\n' : text[i]);
  }
  return out;
}

files::Result<files::FileRef> GlobalLogFile() {
  auto folder = files::FindStandardFolder(files::StandardFolder::kLogs, true);
  if (!folder.ok()) return folder.status();
  return folder->Child(kGlobalLogFileName);
}

GlobalLog::GlobalLog(files::FileRef file) : file_(std::move(file)) {}

GlobalLog::~GlobalLog() {
  if (timer_) timer_->Invalidate();
  WritePendingToFile();
}

void GlobalLog::AddMessage(bool isError, std::string_view message, const char* url) {
  const std::string entry =
      RedactSecretsForLog(FormatGlobalLogEntry(isError, values::DescribeDate(values::Now()), message,
                                               url != nullptr ? RedactSecretsForLog(url).c_str() : nullptr));
  text_ += entry;
  if (text_.size() > kGlobalLogTextLimit) {
    // Cut after a line end ("\r" is one byte, never inside a UTF-8 sequence); a tail
    // without any line end is cut at a character start.
    std::size_t cut = text_.size() - kGlobalLogTextLimit;
    const std::size_t lineEnd = text_.find('\r', cut);
    if (lineEnd != std::string::npos) {
      cut = lineEnd + 1;
    } else {
      while (cut < text_.size() && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) ++cut;
    }
    text_.erase(0, cut);
  }
  pending_ += LogTextForFile(values::SanitizeUtf8(entry));
  dirty_ = true;
  TransferLogWindowServiceSlot::Get().AppendGlobalLogText(entry);
}

void TrimGlobalLogFile(const std::string& path, std::uintmax_t limit) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size <= limit) return;
  std::ifstream in(path, std::ios::binary);
  const std::uintmax_t keep = limit / 2;
  in.seekg(static_cast<std::streamoff>(size - keep));
  std::string tail(static_cast<std::size_t>(keep), '\0');
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  tail.resize(static_cast<std::size_t>(in.gcount()));
  // From the first whole line: the cut never leaves half an entry's line at the top.
  const std::size_t lineStart = tail.find('\n');
  tail.erase(0, lineStart == std::string::npos ? tail.size() : lineStart + 1);
  const std::string temp = path + ".trimmed";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
    if (!out.flush()) {
      std::filesystem::remove(temp, ec);
      return;
    }
  }
  std::filesystem::rename(temp, path, ec);
  if (ec) std::filesystem::remove(temp, ec);
}

void GlobalLog::WritePendingToFile() {
  if (!dirty_) return;
  dirty_ = false;
  files::FileRef file = file_;
  if (file.empty()) {
    auto found = GlobalLogFile();
    if (found.ok()) file = *found;
  }
  if (!file.empty()) {
    auto handle =
        files::FileHandle::Open(file, files::kOpenWrite | files::kOpenCreate | files::kOpenAppend, 0644);
    if (handle.ok()) {
      const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(pending_.data()), pending_.size());
      // Appending: the offset is ignored by O_APPEND writes.
      (void)handle->WriteAt(0, bytes);
    }
    TrimGlobalLogFile(file.Path());
  }
  TransferLogWindowServiceSlot::Get().ScrollGlobalLogToEnd();
  // Dropped also when the file could not be written: nothing is reported, and the next
  // tick does not retry the same bytes forever.
  pending_.clear();
}

void GlobalLog::StartFileTimer(runtime::RunLoop& loop) {
  if (timer_) timer_->Invalidate();
  timer_ = runtime::Timer::Create(kGlobalLogWriteInterval, kGlobalLogWriteInterval,
                                  [this](runtime::Timer&) { WritePendingToFile(); });
  loop.AddTimer(timer_);
}

void CreateGlobalLogWindow() {
  if (GlobalLogSlot()) return;
  GlobalLogSlot() = std::make_unique<GlobalLog>();
  GlobalLogSlot()->StartFileTimer(*runtime::RunLoop::Main());
  std::vector<HeldMessage> held;
  {
    std::lock_guard lock(HeldMutex());
    held.swap(HeldMessages());
  }
  for (const auto& m : held)
    GlobalLogSlot()->AddMessage(m.isError, m.message, m.url ? m.url->c_str() : nullptr);
}

void CloseGlobalLog() {
  GlobalLogSlot().reset();
  // Nothing logged after the close (quit) will be written: hold nothing for it.
  std::lock_guard lock(HeldMutex());
  HeldMessages().clear();
}

GlobalLog* CurrentGlobalLog() {
  return GlobalLogSlot().get();
}

void ShowGlobalLogWindow() {
  TransferLogWindowServiceSlot::Get().ShowGlobalLogWindow();
}

void LogMessageToGlobalLog(bool isError, std::string_view format,
                           std::initializer_list<values::FormatArg> args) {
  if (GlobalLog* log = CurrentGlobalLog()) {
    log->AddMessage(isError, values::Format(format, args));
  } else {
    HoldMessage(isError, values::Format(format, args), nullptr);
  }
}

void LogErrorForURLToGlobalLog(const char* url, std::string_view format,
                               std::initializer_list<values::FormatArg> args) {
  if (GlobalLog* log = CurrentGlobalLog()) {
    log->AddMessage(true, values::Format(format, args), url);
  } else {
    HoldMessage(true, values::Format(format, args), url);
  }
}

void SetDownloadEventTarget(std::shared_ptr<runtime::EventTarget> target) {
  std::scoped_lock lock(TargetMutex());
  TargetSlot() = std::move(target);
}

std::shared_ptr<runtime::EventTarget> DownloadEventTarget() {
  std::scoped_lock lock(TargetMutex());
  return TargetSlot();
}

runtime::Status PostTransferLogLine(std::string_view message, std::uint32_t uid) {
  auto event = runtime::Event::Create(kDownloadEventClass, kDownloadEventMessage);
  if (auto target = DownloadEventTarget()) event->SetPostTarget(std::move(target));
  event->SetUInt32(download_params::kUID, uid);
  event->SetString(download_params::kMessage, std::string(message));
  return runtime::EventQueue::Main()->Post(event, runtime::EventPriority::kHigh);
}

void AppendTransferLog(std::string_view text, std::uint32_t uid, TransferLogRecord* record) {
  const bool foundByUID = record == nullptr;
  if (foundByUID) record = TransferLogRecordsSlot::Get().Find(uid);
  if (record == nullptr || !record->log) return;
  record->log->append(RedactSecretsForLog(NormalizeLogLineEndings(text)));
  if (foundByUID && !record->logDirty) {
    record->logDirty = true;
    if (record->window != 0) TransferLogWindowServiceSlot::Get().RequestTransferInfoRedraw(record->window);
  }
}

void RefreshTransferLogView(std::uint32_t uid, TransferLogRecord* record) {
  const bool foundByUID = record == nullptr;
  if (foundByUID) {
    if (uid == 0) return;
    record = TransferLogRecordsSlot::Get().Find(uid);
    if (record == nullptr) return;
  }
  record->log = std::string();
  record->cleanSize = 0;
  if (foundByUID && record->window != 0) {
    // The window empties its view on this request: nothing is shown, so the text replaces.
    record->logDirty = true;
    TransferLogWindowServiceSlot::Get().RequestTransferInfoRedraw(record->window);
  } else {
    record->logDirty = false;
  }
}

std::optional<UnshownTransferLog> TakeUnshownTransferLog(std::uint32_t uid) {
  TransferLogRecord* record = TransferLogRecordsSlot::Get().Find(uid);
  if (record == nullptr || !record->logDirty || !record->log) return std::nullopt;
  // The request is served either way: a request left standing would stop every later one.
  record->logDirty = false;
  const std::size_t length = values::Utf16Length(*record->log);
  const auto clean = static_cast<std::size_t>(std::max<std::int32_t>(record->cleanSize, 0));
  if (length < clean || (length == clean && clean != 0)) return std::nullopt;
  UnshownTransferLog out;
  out.replace = clean == 0;
  out.text = values::Utf16Substring(*record->log, clean, length - clean);
  record->cleanSize = static_cast<std::int32_t>(length);
  return out;
}

std::string TransferInfoWindowText(TransferLogRecord& record) {
  if (!record.log || record.log->empty()) return values::Localized(kNoTransferInformation);
  record.logDirty = false;
  record.cleanSize = static_cast<std::int32_t>(values::Utf16Length(*record.log));
  return *record.log;
}

}  // namespace engine
