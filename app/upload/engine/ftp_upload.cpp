#include "app/upload/engine/ftp_upload.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/browser/services/auth_items_service.h"
#include "app/engine/ftp/ftp_request_queue.h"
#include "app/engine/ftp/ftp_socket_io.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/upload/contexts/folder_upload_context.h"
#include "app/upload/events/upload_event_codes.h"
#include "app/util/settings/settings_store.h"
#include "platform/files/catalog_info.h"
#include "platform/values/format.h"
#include "platform/values/url_escape.h"

namespace upload {

using engine::FTPConnectionParam;
using engine::FTPMessage;

namespace {

constexpr double kDroppedRetrySeconds = 10;
constexpr double kTryLaterSeconds = 7;
// How long a broken data connection waits for the server's own verdict on the control
// connection before the break itself decides.
constexpr double kVerdictWaitSeconds = 10;
constexpr int kWriteRoundsPerTurn = 3;

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

bool HasFTPScheme(const std::string& host) {
  return StartsWithNoCase(host, "ftp://") || StartsWithNoCase(host, "ftps://");
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The remote folder as a URL path: "/" kept, an escape already there kept (a path that
// begins with "%2F" stays absolute); an absolute folder gets "%2F" in front so that the
// command client does not take it relative to the login folder.
std::optional<std::string> EscapedFolder(const std::string& folder) {
  auto escaped = values::PercentEscape(folder, "%");
  if (!escaped) return std::nullopt;
  if (!escaped->empty() && escaped->front() == '/') escaped->insert(0, "%2F");
  return escaped;
}

std::string LastComponent(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  const auto slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string JoinRemote(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

void ClearTimer(std::shared_ptr<runtime::Timer>& timer) {
  if (timer) timer->Invalidate();
  timer.reset();
}

bool OpenFile(UploadRecord& r, const std::string& path) {
  auto handle = files::FileHandle::Open(files::FileRef(path), files::kOpenRead);
  if (!handle.ok()) return false;
  r.fileStream.emplace(std::move(handle.value()));
  r.fileReadOffset = 0;
  r.bufferPending = 0;
  return true;
}

// The credentials: the item's when it has both; else a stored FTP item for the host
// and path; else anonymous.
std::pair<std::string, std::string> ChooseCredentials(const UploadRecord& r, const values::Url& url) {
  if (!r.info.user.empty() && !r.info.password.empty()) return {r.info.user, r.info.password};
  const std::string host = url.Host().value_or("");
  const int port = url.Port() > 0 ? url.Port() : 21;
  const std::string path = "/" + url.StrictPath();
  if (auto item = browser::AuthItemsServiceSlot::Get().FindAuthItem(host + ":" + std::to_string(port), path,
                                                                    browser::kAuthItemTypeFTP)) {
    if (!item->user.empty() && !item->password.empty()) return {item->user, item->password};
  }
  if (!r.info.user.empty() && r.info.user != "anonymous") return {r.info.user, r.info.password};
  return {"anonymous", util::CurrentSettings()->anonFTPPassword};
}

void PostCertificateQuestion(UploadRecord& r, const FTPConnectionParam& c) {
  const net::CertificateChain chain = c.io ? c.io->ControlPeerCertificates() : net::CertificateChain{};
  std::string host = r.info.host;
  if (!HasFTPScheme(host)) host = "ftps://" + host;
  bool changed = false;
  if (auto url = values::Url::Create(host); url && !chain.empty()) {
    if (auto accepted = engine::CopyAcceptedCertificateData(*url)) changed = *accepted != chain.front().Der();
  }
  auto event =
      MakeUploadEvent(r, changed ? kUploadEventCertificateChanged : kUploadEventCertificateUntrusted);
  values::Array certificates;
  for (const auto& certificate : chain)
    certificates.push_back(values::Value(values::Data{certificate.Der()}));
  event->SetValue(upload_params::kCertificates, values::Value(std::move(certificates)));
  event->SetValue(upload_params::kStreamError,
                  values::Value(values::Array{values::Value(static_cast<int>(c.error.domain)),
                                              values::Value(c.error.code)}));
  PostUploadEvent(std::move(event));
}

void PostFileExistsQuestion(UploadRecord& r, const FTPConnectionParam& c) {
  auto event = MakeUploadEvent(r, kUploadEventFileExists);
  const std::string remote = c.current_directory.empty() || c.current_file_name.empty()
                                 ? std::string()
                                 : JoinRemote(c.current_directory, c.current_file_name);
  if (!remote.empty()) event->SetString(upload_params::kRemotePath, remote);
  if (c.remote_size != 0) event->SetInt64(upload_params::kRemoteSize, c.remote_size);
  if (c.file_date) event->SetValue(upload_params::kRemoteDate, values::Value(*c.file_date));
  event->SetBool(upload_params::kIsFolder, r.isFolder);
  event->SetString(upload_params::kLocalPath, r.filePath);
  event->SetString(upload_params::kFileName, LastComponent(r.filePath));
  if (auto info = files::GetCatalogInfo(files::FileRef(r.filePath), files::LinkMode::kFollow); info.ok()) {
    event->SetValue(upload_params::kLocalDate, values::Value(info->modification_time.ToDate()));
    event->SetInt64(upload_params::kFileSize, static_cast<std::int64_t>(info->size));
  }
  PostUploadEvent(std::move(event));
}

// A failure of the connection (message 0), turned into a retry or an end code.
void HandleConnectionFailure(UploadRecord& r, FTPConnectionParam& c, const std::optional<std::string>& text) {
  const net::StreamError error = c.error;
  if (auto line = RetryableErrorText(error)) {
    PostUploadLog(r, *line, LogStyle::kBold);
    PostUploadLog(r, "\rServer dropped connection, retrying in 10 seconds\r\r", LogStyle::kBold);
    ScheduleRetry(r, kDroppedRetrySeconds);
    return;
  }
  switch (error.domain) {
    case net::ErrorDomain::kFtp:
      switch (error.code) {
        case 503:
          PostUploadLog(r, "\rServer dropped connection, retrying in 10 seconds\r\r", LogStyle::kBold);
          ScheduleRetry(r, kDroppedRetrySeconds);
          return;
        case 530:
          PostUploadEvent(MakeUploadEvent(r, kUploadEventAuthUserRefused));
          EndUpload(r, kUploadEndFailed);
          return;
        case 550:
          if (c.state == engine::kFTPStateTransferCommand) {
            PostUploadEvent(MakeUploadEvent(r, kUploadEventAuthPasswordRefused));
            EndUpload(r, kUploadEndAuthRefused);
          } else if (c.state == engine::kFTPStateCwd) {
            PostUploadEvent(MakeUploadEvent(r, kUploadEventFolderMissing));
            EndUpload(r, kUploadEndFailed);
          } else {
            EndUpload(r, kUploadEndFailed);
          }
          return;
        case 553:
          EndUpload(r, kUploadEndPermissionDenied);
          return;
        default:
          PostUploadLog(r, "\rError occured. Server message:\r", LogStyle::kBold);
          PostUploadLog(r, text.value_or(""), LogStyle::kFixedPitch);
          EndUpload(r, kUploadEndFailed);
          return;
      }
    case net::ErrorDomain::kSsl:
      if (c.logged_in) {
        // The control connection runs: this is the data channel's TLS.
        PostUploadLog(r, "\rSSL session setup failed\r", LogStyle::kBold);
      } else if (error.code == net::tls_code::kUnknownRoot || error.code == net::tls_code::kUnknownIssuer ||
                 error.code == net::tls_code::kExpired || error.code == net::tls_code::kHostNameMismatch) {
        PostUploadLog(r, "\rThe server's certificate is not trusted\r", LogStyle::kBold);
        PostCertificateQuestion(r, c);
      } else {
        PostUploadLog(r, "\rSSL session setup failed\r", LogStyle::kBold);
      }
      EndUpload(r, kUploadEndFailed);
      return;
    case net::ErrorDomain::kMacOsStatus:
      if (error.code == -50) {
        PostUploadLog(r, "\rA name holds a line break and cannot be sent to the server\r", LogStyle::kBold);
      }
      EndUpload(r, kUploadEndFailed);
      return;
    default:
      PostUploadLog(r, "\rThe connection failed: " + net::DescribeError(error) + "\r", LogStyle::kBold);
      EndUpload(r, kUploadEndFailed);
      return;
  }
}

// The end of a transfer that was not 226 (message 3): a transient reply tries again in
// 7 s; a permanent one (5xx) or "not enough space" (452) ends with the server's text,
// since trying again could not change it.
void HandleTransferFailed(UploadRecord& r, FTPConnectionParam& c, const std::optional<std::string>& text) {
  const int code = c.error.domain == net::ErrorDomain::kFtp ? c.error.code : 0;
  if (code >= 500 || code == 452) {
    if (code == 553) {
      EndUpload(r, kUploadEndPermissionDenied);
      return;
    }
    PostUploadLog(r, "\rError occured. Server message:\r", LogStyle::kBold);
    PostUploadLog(r, text.value_or(""), LogStyle::kFixedPitch);
    EndUpload(r, kUploadEndFailed);
    return;
  }
  PostUploadLog(r, "\r retrying in 7 seconds\r\r", LogStyle::kBold);
  ScheduleRetry(r, kTryLaterSeconds);
}

// A broken data connection when the server gave no verdict: the stream-error rules.
void ApplyDataError(UploadRecord& r, const net::StreamError& error) {
  if (r.bytesSent + r.resumeOffset >= r.fileSize && !r.isFolder) {
    EndUpload(r, kUploadEndFinished);
    return;
  }
  const auto line = RetryableErrorText(error);
  const bool ftp503 = error == net::StreamError{net::ErrorDomain::kFtp, 503};
  if (line || ftp503) {
    if (line) PostUploadLog(r, *line, LogStyle::kBold);
    PostUploadLog(r, "\rServer dropped connection, retrying in 10 seconds\r", LogStyle::kBold);
    ScheduleRetry(r, kDroppedRetrySeconds);
    return;
  }
  if (error.domain == net::ErrorDomain::kSsl)
    PostUploadLog(r, "\rSSL session setup failed\r", LogStyle::kBold);
  EndUpload(r, kUploadEndFailed);
}

void OnDataError(UploadRecord& r, FTPConnectionParam& c) {
  r.dataError = c.error;
  // The server's reply on the control connection says what happened (552 no space, 426
  // aborted, a dropped server); it is read once the data connection is closed.
  engine::FTPConnectionCloseDataConnection(c);
  if (r.quitting || r.ftpConnection.get() != &c || !r.dataError) return;
  ClearTimer(r.verdictTimer);
  r.verdictTimer = runtime::Timer::Create(ScaledSeconds(kVerdictWaitSeconds), runtime::Nanoseconds(0),
                                          [&r](runtime::Timer&) {
                                            if (r.quitting || !r.dataError) return;
                                            const net::StreamError error = *r.dataError;
                                            r.dataError.reset();
                                            ApplyDataError(r, error);
                                          });
  r.loop->AddTimer(r.verdictTimer);
}

void FinishWrites(UploadRecord& r, FTPConnectionParam& c) {
  // Not before the data connection could take bytes: a protected one may still be in its
  // handshake, which an end of writing would break off (an empty file sends nothing else).
  const bool handshakeMayRun = c.data_protected && c.control_tls && !r.dataCanWrite;
  if (r.dataWritesFinished || handshakeMayRun) return;
  r.dataWritesFinished = true;
  engine::FTPConnectionFinishDataWrites(c);
}

// Message 8: the folder upload wants its next file.
void BeginNextFile(UploadRecord& r, FTPConnectionParam& c, bool& stop) {
  std::shared_ptr<FolderUploadContext> context;
  if (c.has_current_request && !c.request_queue.empty())
    context = std::static_pointer_cast<FolderUploadContext>(c.request_queue.front().client);
  if (!context) {
    c.current_file_name.clear();
    return;
  }
  if (auto next = context->NextFileInfo()) {
    if (!OpenFile(r, next->path)) {
      PostUploadLog(r, "\rThe file " + next->path + " could not be opened\r", LogStyle::kBold);
      EndUpload(r, kUploadEndFailed);
      stop = true;
      return;
    }
    c.current_file_name = next->name;
    c.local_file_size = next->size;
    r.filePath = next->path;
    r.bytesOfFinishedFiles += r.fileSize;
    r.bytesSent = 0;
    r.transferStarted = false;
    r.resumeOffset = 0;
    r.fileSize = next->size;
    r.dataWritesFinished = false;
    return;
  }
  // The client goes on with the connection after this message: no stop (it would leave
  // the replies unread); an empty name tells it that no file follows.
  c.current_file_name.clear();
  const engine::FTPRequest request = c.request_queue.front();
  const std::string parent = JoinRemote(request.path, request.new_folder_name.value_or(""));
  for (const auto& sub : context->ClientsForSubUploads()) {
    engine::FTPConnectionQueueUpload(c, parent, sub->FolderName(), sub);
  }
  c.state = engine::kFTPStateIdle;
  engine::FTPConnectionFinishRequest(c);
  if (r.quitting) stop = true;
}

void OnMessage(UploadRecord& r, FTPConnectionParam& c, FTPMessage message,
               const std::optional<std::string>& text, bool& stop) {
  stop = false;
  if (r.quitting || r.ftpConnection.get() != &c) {
    stop = true;
    return;
  }
  switch (message) {
    case FTPMessage::kFailed:
      stop = true;
      HandleConnectionFailure(r, c, text);
      return;
    case FTPMessage::kTransferAnswered:
      if (c.state != engine::kFTPStateTransferRunning) return;
      r.transferStarted = true;
      r.pendingAnswer = kConflictNone;
      if (c.restart_offset > 0) {
        r.fileReadOffset = c.restart_offset;
        r.resumeOffset = c.restart_offset;
        PostUploadLog(r, values::Format("Setting local file offset to %lld\r", {c.restart_offset}));
      } else {
        r.fileReadOffset = 0;
        r.resumeOffset = 0;
      }
      r.bytesSent = 0;
      r.bufferPending = 0;
      PostUploadLog(r, "Starting data transfer\r");
      if (c.io && c.io->IsDataOpen()) UploadSendFTPData(r);
      return;
    case FTPMessage::kTransferComplete:
      ClearTimer(r.verdictTimer);
      r.dataError.reset();
      PostUploadLog(r, "Server has confirmed reception of file\r");
      if (!c.has_current_request ||
          c.current_request_type != static_cast<int>(engine::FTPRequestType::kUploadFiles)) {
        stop = true;
        EndUpload(r, kUploadEndFinished);
      }
      return;
    case FTPMessage::kTransferFailed:
      ClearTimer(r.verdictTimer);
      r.dataError.reset();
      stop = true;
      HandleTransferFailed(r, c, text);
      return;
    case FTPMessage::kDataOpened:
      r.dataCanWrite = false;
      PostUploadLog(r, "\rData connections created\r\r");
      return;
    case FTPMessage::kQueueEmpty:
      stop = true;
      EndUpload(r, kUploadEndFinished);
      return;
    case FTPMessage::kBeginFile:
      BeginNextFile(r, c, stop);
      return;
    case FTPMessage::kCommandSent:
      PostUploadLog(r, "\r" + text.value_or(""), LogStyle::kBold);
      return;
    case FTPMessage::kReplyReceived:
      PostUploadLog(r, text.value_or(""), LogStyle::kFixedPitch);
      return;
    case FTPMessage::kStatHandled:
      // The remote file exists: the connection waits for the answer.
      c.state = engine::kFTPStateHeldAfterStat;
      PostFileExistsQuestion(r, c);
      return;
    case FTPMessage::kSizeHandled:
      if (c.remote_size <= 0) return;
      if (r.pendingAnswer != kConflictNone) {
        const std::int32_t answer = r.pendingAnswer;
        r.pendingAnswer = kConflictNone;
        FTPApplyConflictAnswer(r, answer);
        if (r.quitting) stop = true;
      } else if (r.answerForAll != kConflictNone) {
        FTPApplyConflictAnswer(r, r.answerForAll);
        if (r.quitting) stop = true;
      } else {
        c.state = engine::kFTPStateStat;  // the client asks STAT, then message 11
      }
      return;
    default:
      return;
  }
}

void OnDataEvent(UploadRecord& r, FTPConnectionParam& c, engine::FTPDataEvent event) {
  if (r.quitting || r.ftpConnection.get() != &c) return;
  switch (event) {
    case engine::FTPDataEvent::kCanWrite:
      r.dataCanWrite = true;
      UploadSendFTPData(r);
      return;
    case engine::FTPDataEvent::kEnd:
      // Everything went out: the server's 226 follows on the control connection.
      engine::FTPConnectionCloseDataConnection(c);
      return;
    case engine::FTPDataEvent::kError:
      OnDataError(r, c);
      return;
    case engine::FTPDataEvent::kHasBytes:
      return;
  }
}

}  // namespace

std::string FTPUploadURLText(const std::string& host, std::int32_t hostType, const std::string& uploadPath,
                             const std::string* fileName) {
  std::string base = host;
  if (!HasFTPScheme(base)) base = (hostType == kHostTypeFTPS ? "ftps://" : "ftp://") + base;
  while (!base.empty() && base.back() == '/') base.pop_back();
  if (!fileName) return base;
  auto folder = EscapedFolder(uploadPath);
  auto name = values::PercentEscape(*fileName, "", "%;?#");
  if (!folder || !name) return {};
  std::string path = JoinRemote(*folder, *name);
  return base + "/" + (path.front() == '/' ? path.substr(1) : path);
}

int FTPUploadStep(UploadRecord& r) {
  r.transferStarted = false;
  r.bytesSent = 0;
  r.dataWritesFinished = false;
  r.dataError.reset();
  std::string urlText;
  if (r.isFolder) {
    urlText = FTPUploadURLText(r.info.host, r.info.hostType, r.info.uploadPath, nullptr);
    auto event = MakeUploadEvent(r, kUploadEventProgress);
    event->SetInt64(upload_params::kFileSize, FolderTreeSize(r.rootFolder));
    PostUploadEvent(std::move(event));
    // The file being sent when the connection dropped is handed out again: it must not
    // count as finished twice.
    r.fileSize = 0;
  } else {
    const std::string name = LastComponent(r.info.filePath);
    if (HasLineBreak(name) || HasLineBreak(r.info.uploadPath)) {
      PostUploadLog(r, "\rA name holds a line break and cannot be sent to the server\r", LogStyle::kBold);
      r.step = kUploadEndFailed;
      return kStepCannotStart;
    }
    if (!OpenFile(r, r.info.filePath)) {
      PostUploadLog(r, "\rThe file could not be opened\r", LogStyle::kBold);
      r.step = kUploadEndFailed;
      return kStepCannotStart;
    }
    if (auto size = r.fileStream->Size(); size.ok()) r.fileSize = static_cast<std::int64_t>(*size);
    PostUploadLog(r, "\rFile opened for upload");
    urlText = FTPUploadURLText(r.info.host, r.info.hostType, r.info.uploadPath, &name);
  }
  if (urlText.empty()) {
    PostUploadLog(r, "\rNull url string", LogStyle::kBold);
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  auto url = values::Url::Create(urlText);
  if (!url || !url->Host()) {
    PostUploadLog(r, "\rcould not form url", LogStyle::kBold);
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  const auto [user, password] = ChooseCredentials(r, *url);
  net::StreamError error;
  auto connection = engine::FTPConnectionCreate(*url, user, password, &error);
  if (!connection) {
    PostUploadLog(r, "\rcould not create ftp connection", LogStyle::kBold);
    r.step = kUploadEndFailed;
    return kStepCannotStart;
  }
  connection->tls_level = r.info.hostType == kHostTypeFTPS ? engine::kFTPTlsRequired : engine::kFTPTlsNone;
  if (r.isFolder) {
    connection->queue_mode = true;
  } else {
    connection->upload_mode = true;
  }
  connection->callback = [&r](FTPConnectionParam& c, FTPMessage m, const std::optional<std::string>& text,
                              bool& stop) { OnMessage(r, c, m, text, stop); };
  connection->data_callback = [&r](FTPConnectionParam& c, engine::FTPDataEvent event) {
    OnDataEvent(r, c, event);
  };
  PostUploadLog(r, "\rAttempting ftp connection\r", LogStyle::kBold);
  r.buffer.assign(kInitialBufferSize, 0);
  r.bufferPending = 0;
  r.ftpConnection = std::move(connection);
  FTPConnectionParam& c = *r.ftpConnection;
  if (r.isFolder) {
    auto context = std::make_shared<FolderUploadContext>(r.rootFolder, "", r.uploadedPaths);
    engine::FTPConnectionQueueUpload(c, r.info.uploadPath, context->FolderName(), context);
  }
  engine::FTPConnectionOpen(c);
  return kStepUnderWay;
}

void FTPApplyConflictAnswer(UploadRecord& r, std::int32_t answer) {
  FTPConnectionParam* c = r.ftpConnection.get();
  if (!c || r.quitting) return;
  switch (answer) {
    case kConflictReplace:
      c->remote_size = 0;
      break;
    case kConflictResume:
      break;
    case kConflictSkip:
      if (r.isFolder) {
        // The next file of the walk; the client asks its size in turn.
        engine::FTPConnectionBeginTransfer(*c);
        return;
      }
      EndUpload(r, kUploadEndCancelled);
      return;
    case kConflictStop:
      EndUpload(r, kUploadEndCancelled);
      return;
    default:
      return;
  }
  if (c->state == engine::kFTPStateHeldAfterStat) {
    // Kept until the transfer starts: a connection that drops meanwhile applies it again.
    r.pendingAnswer = answer;
    engine::FTPConnectionOpenDataConnection(*c);
  }
}

void UploadSendFTPData(UploadRecord& r) {
  FTPConnectionParam* c = r.ftpConnection.get();
  if (!c || !r.transferStarted || r.quitting || r.dataWritesFinished || !r.fileStream) return;
  if (!c->io || !c->io->IsDataOpen()) return;
  if (r.buffer.empty()) r.buffer.assign(kInitialBufferSize, 0);
  for (int round = 0;; ++round) {
    if (round == kWriteRoundsPerTurn) {
      // The socket still takes bytes: go on in the next turn of the loop, so that a stop
      // request (and everything else of the worker) is served in between.
      if (!r.sendContinuationPending) {
        r.sendContinuationPending = true;
        r.loop->Perform([&r, connection = c] {
          r.sendContinuationPending = false;
          if (r.ftpConnection.get() == connection) UploadSendFTPData(r);
        });
      }
      return;
    }
    if (r.bufferPending == 0) {
      if (r.bytesSent + r.resumeOffset >= r.fileSize) {
        FinishWrites(r, *c);
        return;
      }
      auto got = r.fileStream->ReadAt(static_cast<std::uint64_t>(r.fileReadOffset),
                                      std::span<std::uint8_t>(r.buffer.data(), r.buffer.size()));
      if (!got.ok()) {
        // A local read error would otherwise stall the upload for ever.
        PostUploadLog(r,
                      values::Format("\rThe file could not be read. Error %d.\r",
                                     {static_cast<std::int64_t>(got.status().code())}),
                      LogStyle::kBold);
        EndUpload(r, kUploadEndFailed);
        return;
      }
      if (*got == 0) {
        FinishWrites(r, *c);
        return;
      }
      r.bufferPending = *got;
      r.fileReadOffset += static_cast<std::int64_t>(*got);
    }
    const std::size_t grant = UploadThrottleRequest(r, r.bufferPending);
    std::size_t written = 0;
    const engine::FTPDataResult result = engine::FTPConnectionWriteData(*c, r.buffer.data(), grant, written);
    UploadThrottleGiveBack(grant, written);
    if (written > 0) {
      r.dataCanWrite = true;
      const bool whole = written == r.buffer.size();
      std::memmove(r.buffer.data(), r.buffer.data() + written, r.bufferPending - written);
      r.bufferPending -= written;
      r.bytesSent += static_cast<std::int64_t>(written);
      r.rateBytes += static_cast<std::int64_t>(written);
      if (whole && r.buffer.size() <= kBufferGrowLimit) r.buffer.resize(written + kBufferGrowth);
    }
    switch (result) {
      case engine::FTPDataResult::kOk:
        continue;
      case engine::FTPDataResult::kWouldBlock:
        return;
      case engine::FTPDataResult::kEnd:
      case engine::FTPDataResult::kError:
        OnDataError(r, *c);
        return;
    }
  }
}

}  // namespace upload
