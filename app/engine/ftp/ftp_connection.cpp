#include "app/engine/ftp/ftp_connection.h"

#include <cstdio>

#include "app/engine/ftp/ftp_connection_internal.h"
#include "app/engine/ftp/ftp_list_parser.h"
#include "platform/values/text_encoding.h"
#include "platform/values/url_escape.h"

namespace engine {

using ftp_internal::Notify;
using ftp_internal::Send;
using ftp_internal::Step;

namespace {

constexpr net::StreamError kParamError{net::ErrorDomain::kMacOsStatus, -50};
constexpr net::StreamError kConnectionLost{net::ErrorDomain::kPosix, net::posix_code::kConnectionReset};

bool Is2xx(int code) {
  return code >= 200 && code < 300;
}

std::string Unescaped(std::string_view text) {
  return values::PercentUnescape(text).value_or(std::string(text));
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The single file's name as commands send it: its last path component when the client
// changed into its directory, else its whole path relative to the login directory.
std::string SingleFileName(const FTPConnectionParam& c) {
  if (c.directory_entered) {
    if (auto last = c.url.LastPathComponent()) return *last;
  }
  return Unescaped(c.url.StrictPath());
}

Step SendTransferCommand(FTPConnectionParam& c) {
  if (c.queue_mode) {
    if (c.current_request_type == static_cast<int>(FTPRequestType::kListFolder) && c.has_current_request) {
      if (c.directory_entered) return Send(c, "LIST -a\r\n", kFTPStateTransferCommand);
      return Send(c, "LIST -a " + Unescaped(c.request_queue.front().path) + "\r\n", kFTPStateTransferCommand);
    }
    if (c.remote_size > 0) {
      c.restart_offset = c.remote_size;
      return Send(c, "APPE " + c.current_file_name + "\r\n", kFTPStateTransferCommand);
    }
    c.restart_offset = 0;
    return Send(c, "STOR " + c.current_file_name + "\r\n", kFTPStateTransferCommand);
  }
  const std::string name = SingleFileName(c);
  if (c.upload_mode) {
    if (c.remote_size > 0) {
      c.restart_offset = c.remote_size;
      return Send(c, "APPE " + name + "\r\n", kFTPStateTransferCommand);
    }
    c.restart_offset = 0;
    return Send(c, "STOR " + name + "\r\n", kFTPStateTransferCommand);
  }
  return Send(c, "RETR " + name + "\r\n", kFTPStateTransferCommand);
}

Step SendRestartOrTransfer(FTPConnectionParam& c) {
  if (!c.queue_mode && !c.upload_mode && c.restart_offset > 0) {
    return Send(c, "REST " + std::to_string(c.restart_offset) + "\r\n", kFTPStateRest);
  }
  return SendTransferCommand(c);
}

Step StartActiveMode(FTPConnectionParam& c, bool extended) {
  FTPEndpoint local;
  const net::StreamError listen_error = c.io->ListenForData(c.data_protected && c.control_tls, local);
  if (listen_error) {
    c.error = listen_error;
    return Step::kSendFailed;
  }
  c.data_via_listen = true;
  char line[96];
  if (extended) {
    std::snprintf(line, sizeof line, "EPRT |1|%d.%d.%d.%d|%u|\r\n", local.address[0], local.address[1],
                  local.address[2], local.address[3], static_cast<unsigned>(local.port));
    return Send(c, line, kFTPStateEprt);
  }
  std::snprintf(line, sizeof line, "PORT %d,%d,%d,%d,%u,%u\r\n", local.address[0], local.address[1],
                local.address[2], local.address[3], static_cast<unsigned>(local.port >> 8),
                static_cast<unsigned>(local.port & 0xFF));
  return Send(c, line, kFTPStatePort);
}

Step HandleSizeReply(FTPConnectionParam& c, const FTPReply& reply) {
  c.remote_size = 0;
  if (Is2xx(reply.code)) {
    c.remote_size = ParseFTPSizeReply(reply.last_line);
    c.transfer_begun = false;
    if (Notify(c, FTPMessage::kSizeHandled, reply.last_line)) return Step::kStopped;
    // The client goes on later by itself.
    if (c.transfer_begun) return Step::kDone;
  } else if (reply.code == 500) {
    c.flags |= kFTPFlagNoSize;
  }
  if (c.state == kFTPStateStat) {
    const bool upload_request =
        c.has_current_request && c.current_request_type == static_cast<int>(FTPRequestType::kUploadFiles);
    return Send(c, "STAT " + (upload_request ? c.current_file_name : SingleFileName(c)) + "\r\n",
                kFTPStateStat);
  }
  if (c.has_current_request && c.current_request_type == static_cast<int>(FTPRequestType::kUploadFiles) &&
      c.remote_size > 0 && c.remote_size == c.local_file_size) {
    // Already there whole: skip the file.
    return FTPConnectionBeginTransfer(c) ? Step::kStopped : Step::kDone;
  }
  return ftp_internal::RequestDataConnection(c);
}

// The listing line of a STAT reply: the reply itself when it starts with "-", else the
// line after the first "\r\n-", else the first line after the first that parses.
std::optional<values::Date> DateFromStatReply(const std::string& text) {
  std::optional<FTPResource> resource;
  auto try_line = [&](std::string_view bytes) {
    FTPConnectionParseListing(bytes, resource);
    return resource.has_value();
  };
  if (StartsWith(text, "-")) {
    if (try_line(text)) return resource->modified;
  } else if (const std::size_t dash = text.find("\r\n-"); dash != std::string::npos) {
    if (try_line(std::string_view(text).substr(dash + 2))) return resource->modified;
  } else {
    std::size_t pos = 0;
    while ((pos = text.find("\r\n", pos)) != std::string::npos) {
      pos += 2;
      const std::string_view rest = std::string_view(text).substr(pos);
      if (StartsWith(rest, "213") || rest.empty()) continue;
      if (try_line(rest)) return resource->modified;
    }
  }
  return std::nullopt;
}

// The path of a PWD reply's 257, when it gives an absolute one.
std::optional<std::string> AbsolutePwdPath(const FTPReply& reply) {
  if (reply.code != 257) return std::nullopt;
  auto path = ParseFTPQuotedPath(reply.last_line);
  if (!path || !StartsWith(*path, "/")) return std::nullopt;
  return path;
}

// Single-file modes after PWD: into the file's directory.
Step ChangeToFileDirectory(FTPConnectionParam& c, bool pwd_gave_path) {
  const auto folder = c.url.DeletingLastPathComponent();
  const std::string escaped = folder ? folder->StrictPath() : std::string();
  std::string target;
  if (pwd_gave_path) {
    if (StartsWith(escaped, "%2F") || StartsWith(escaped, "/%2F")) {
      // "ftp://host/%2Fpub/f": absolute, whatever the login directory.
      const std::size_t cut = escaped.find("%2F") + 3;
      target = "/" + Unescaped(std::string_view(escaped).substr(cut));
    } else {
      const std::string relative = Unescaped(escaped);
      if (relative.empty() || relative == "/") {
        target = c.current_directory;
      } else {
        target = c.current_directory + (c.current_directory.ends_with('/') ? "" : "/") + relative;
      }
    }
  } else {
    const std::string relative = Unescaped(escaped);
    if (relative.empty()) {
      // The file lies in the login directory, wherever that is: stay.
      return ftp_internal::AfterSingleFileCwd(c, false);
    }
    target = relative;
    c.pending_directory = "/" + relative;
    return Send(c, "CWD " + target + "\r\n", kFTPStateCwd);
  }
  c.pending_directory = target;
  return Send(c, "CWD " + target + "\r\n", kFTPStateCwd);
}

Step HandlePwdReply(FTPConnectionParam& c, const FTPReply& reply) {
  const auto path = AbsolutePwdPath(reply);
  c.base_path = "/";
  if (path) {
    c.current_directory = *path + (path->ends_with('/') ? "" : "/");
    c.directory_entered = true;
  } else {
    c.current_directory = "/";
  }
  if (c.queue_mode) {
    c.state = kFTPStateIdle;
    if (Notify(c, FTPMessage::kIdle, reply.last_line)) return Step::kStopped;
    if (path) return ftp_internal::StartNextRequest(c);
    return Step::kDone;
  }
  return ChangeToFileDirectory(c, path.has_value());
}

// Whether the transfer under way sends a file (STOR or APPE) rather than fetching one.
bool Sending(const FTPConnectionParam& c) {
  return c.upload_mode ||
         (c.has_current_request && c.current_request_type == static_cast<int>(FTPRequestType::kUploadFiles));
}

Step HandleTransferEnd(FTPConnectionParam& c, const FTPReply& reply) {
  if (reply.code == 226) {
    if (!c.queue_mode) {
      c.state = kFTPStateSingleTransferDone;
      return Notify(c, FTPMessage::kTransferComplete, reply.last_line) ? Step::kStopped : Step::kDone;
    }
    if (c.has_current_request && c.current_request_type == static_cast<int>(FTPRequestType::kUploadFiles)) {
      // Idle between files, so that a client that finishes the request when none is left
      // starts the next one.
      c.state = kFTPStateIdle;
      if (Notify(c, FTPMessage::kTransferComplete, reply.last_line)) return Step::kStopped;
      return FTPConnectionBeginTransfer(c) ? Step::kStopped : Step::kDone;
    }
    // A client that finishes the request during the message starts the next one there.
    c.state = kFTPStateIdle;
    return Notify(c, FTPMessage::kTransferComplete, reply.last_line) ? Step::kStopped : Step::kDone;
  }
  ftp_internal::CloseData(c);
  if (reply.code == 426 && c.queue_mode) {
    // Aborted transfer: the request is dropped without a word, the queue goes on.
    c.state = kFTPStateIdle;
    return ftp_internal::DropHeadAndStartNext(c);
  }
  c.state = kFTPStateSingleTransferDone;
  return Notify(c, FTPMessage::kTransferFailed, reply.last_line) ? Step::kStopped : Step::kDone;
}

Step HandleReply(FTPConnectionParam& c, const FTPReply& reply) {
  const int code = reply.code;
  switch (c.state) {
    case kFTPStateWelcome:
      if (!Is2xx(code)) return Step::kRefused;
      if (c.tls_level < 2) return Send(c, "USER " + c.user + "\r\n", kFTPStateUser);
      return Send(c, "AUTH TLS\r\n", kFTPStateAuthTls);
    case kFTPStateAuthTls:
      // No TLS, no login: a server that refuses it must not see the password in clear.
      if (code != 234) return Step::kRefused;
      c.state = kFTPStateControlHandshake;
      c.io->StartControlTls();
      return Step::kDone;
    case kFTPStatePbsz:
      c.protection_buffer_sent = true;
      if (code == 200) return Send(c, "PROT P\r\n", kFTPStateProt);
      return Send(c, "user " + c.user + "\r\n", kFTPStateUser);
    case kFTPStateProt:
      c.data_protected = code == 200;
      if (c.logged_in) return Send(c, "TYPE I\r\n", kFTPStateType);
      return Send(c, "user " + c.user + "\r\n", kFTPStateUser);
    case kFTPStateUser:
      if (code == 331) return Send(c, "PASS " + c.password + "\r\n", kFTPStatePass);
      if (code != 230 && code != 232) return Step::kRefused;
      [[fallthrough]];
    case kFTPStatePass:
      if (!Is2xx(code)) return Step::kRefused;
      c.logged_in = true;
      return Send(c, "TYPE I\r\n", kFTPStateType);
    case kFTPStateType:
      if (!Is2xx(code)) return Step::kRefused;
      return Send(c, "PWD\r\n", kFTPStatePwd);
    case kFTPStatePwd:
      return HandlePwdReply(c, reply);
    case kFTPStateCwd: {
      const bool success = code == 250 || code == 200;
      if (success) {
        c.current_directory = c.pending_directory;
        c.directory_entered = true;
      }
      if (c.queue_mode) return ftp_internal::ContinueRequestAfterCwd(c, success);
      return ftp_internal::AfterSingleFileCwd(c, success);
    }
    case kFTPStateSize:
      return HandleSizeReply(c, reply);
    case kFTPStatePasv: {
      if (code != 227) return Step::kRefused;
      const auto passive = ParseFTPPassiveReply(reply.last_line);
      if (!passive) {
        c.error = kParamError;
        return Step::kRefused;
      }
      // Only the port is taken: the address stays the control connection's peer.
      c.data_via_listen = false;
      c.io->ConnectData(passive->port, c.data_protected && c.control_tls);
      return Step::kDone;
    }
    case kFTPStateRest:
      if (code != 350 && code != 213) c.restart_offset = 0;
      return SendTransferCommand(c);
    case kFTPStateTransferCommand:
      if (code != 150 && code != 125) return Step::kRefused;
      c.state = kFTPStateTransferRunning;
      // The end-of-transfer reply of a file coming in is read only after the data, so that
      // a 226 that races ahead of the last data bytes does not end the transfer early. An
      // active connection may not be accepted yet when the 150 comes, but the server has
      // opened it by then (or the engine's silence time-out ends the wait). A file going
      // out is different: the server cannot finish before this side closes the data, so
      // whatever it says meanwhile is a refusal (552, 426) to act on at once.
      if (!Sending(c) && (c.io->IsDataOpen() || c.data_via_listen)) c.control_reading_held = true;
      return Notify(c, FTPMessage::kTransferAnswered, reply.last_line) ? Step::kStopped : Step::kDone;
    case kFTPStateTransferRunning:
      return HandleTransferEnd(c, reply);
    case kFTPStateIdle:
      return Step::kDone;
    case kFTPStateDeleteFile:
    case kFTPStateRemoveFolder:
    case kFTPStateMakeFolder:
    case kFTPStateChmod:
    case kFTPStateRenameFrom:
    case kFTPStateRenameTo:
      return ftp_internal::HandleRequestReply(c, reply);
    case kFTPStateStat:
      if (code == 211 || code == 213 || (code == 212 && !reply.last_line.empty())) {
        c.file_date = DateFromStatReply(reply.text);
      }
      if (Notify(c, FTPMessage::kStatHandled, reply.last_line)) return Step::kStopped;
      c.file_date.reset();
      if (c.state == kFTPStateHeldAfterStat) return Step::kDone;
      return ftp_internal::RequestDataConnection(c);
    case kFTPStateEprt:
    case kFTPStatePort:
      if (code == 200) return SendRestartOrTransfer(c);
      if (c.plain_port) return Step::kRefused;
      c.plain_port = true;
      ftp_internal::CloseData(c);
      return ftp_internal::RequestDataConnection(c);
    default:
      return Step::kRefused;
  }
}

// Cuts and handles every complete reply; stops at a held transfer or a stopping client.
// False when the client stopped (the record may be gone).
bool HandleReplies(FTPConnectionParam& c) {
  c.handling_replies = true;
  while (!c.control_reading_held) {
    FTPReply reply;
    const FTPSplitResult result = FTPConnectionSplitReplies(c.reply_buffer, reply);
    if (result == FTPSplitResult::kIncomplete) break;
    if (result == FTPSplitResult::kMalformed) {
      std::string text = values::DecodeUtf8OrLatin1(c.reply_buffer);
      c.reply_buffer.clear();
      c.error = kParamError;
      c.handling_replies = false;
      return !Notify(c, FTPMessage::kFailed, std::move(text));
    }
    if (Notify(c, FTPMessage::kReplyReceived, reply.text)) return false;
    c.error = {net::ErrorDomain::kFtp, reply.code};
    const Step step = HandleReply(c, reply);
    if (step == Step::kStopped) return false;
    if (step == Step::kRefused && Notify(c, FTPMessage::kFailed, reply.text)) return false;
    if (step == Step::kSendFailed && ftp_internal::FailRequestStep(c) == Step::kStopped) return false;
  }
  c.handling_replies = false;
  return true;
}

}  // namespace

namespace ftp_internal {

bool Notify(FTPConnectionParam& c, FTPMessage message, std::optional<std::string> text) {
  if (!c.callback) return false;
  // A copy: the client may drop the record, and the callback with it, while it runs.
  FTPClientCallback callback = c.callback;
  bool stop = false;
  callback(c, message, text, stop);
  return stop;
}

Step Send(FTPConnectionParam& c, const std::string& command, int next_state) {
  // The state changes first: the reply cannot come before the command, and a client
  // that reads the state during kCommandSent sees what the command waits for.
  c.state = next_state;
  const auto encoded = EncodeFTPCommand(command);
  if (!encoded) {
    c.error = kParamError;
    return Step::kSendFailed;
  }
  if (!c.io->IsControlUsable()) {
    c.error = kConnectionLost;
    return Step::kSendFailed;
  }
  if (Notify(c, FTPMessage::kCommandSent, FTPCommandForLog(command))) return Step::kStopped;
  if (!c.io->WriteControl(*encoded)) {
    c.error = kConnectionLost;
    return Step::kSendFailed;
  }
  return Step::kDone;
}

Step RequestDataConnection(FTPConnectionParam& c) {
  if (c.plain_port) return StartActiveMode(c, false);
  if (c.active_mode) return StartActiveMode(c, true);
  return Send(c, "PASV\r\n", kFTPStatePasv);
}

Step AfterSingleFileCwd(FTPConnectionParam& c, bool success) {
  if (c.upload_mode && !success) return Step::kRefused;
  if (c.size_wanted || c.upload_mode) return Send(c, "SIZE " + SingleFileName(c) + "\r\n", kFTPStateSize);
  return RequestDataConnection(c);
}

void CloseData(FTPConnectionParam& c) {
  c.io->CloseData();
  c.data_via_listen = false;
}

}  // namespace ftp_internal

std::unique_ptr<FTPConnectionParam> FTPConnectionCreate(const values::Url& url, std::string user,
                                                        std::string password,
                                                        std::unique_ptr<FTPConnectionIO> io,
                                                        bool system_prefers_passive,
                                                        net::StreamError* error) {
  if (!url.Host() || !io) {
    if (error) *error = kParamError;
    return nullptr;
  }
  auto c = std::make_unique<FTPConnectionParam>();
  c->io = std::move(io);
  c->io->Attach(*c);
  c->url = url;
  c->user = std::move(user);
  c->password = std::move(password);
  c->pasv_preferred = true;
  c->active_mode = !system_prefers_passive;
  return c;
}

void FTPConnectionOpen(FTPConnectionParam& c) {
  // Requests queued before the connection opened wait for the login.
  c.reply_buffer.clear();
  c.io->OpenControl();
}

bool FTPConnectionIsUsable(const FTPConnectionParam& c) {
  return c.io && c.io->IsControlUsable();
}

void FTPConnectionClose(FTPConnectionParam& c) {
  if (!c.io) return;
  c.request_queue.clear();
  c.has_current_request = false;
  c.base_path.reset();
  ftp_internal::CloseData(c);
  // QUIT goes through TLS when the connection runs it: a clear-text line inside a TLS
  // stream is garbage to the server.
  if (c.io->IsControlUsable()) c.io->WriteControl("QUIT\r\n");
  c.io->CloseControl();
  c.reply_buffer.clear();
  c.control_reading_held = false;
  c.file_date.reset();
}

bool FTPConnectionSendCommand(FTPConnectionParam& c, const std::string& command) {
  const auto encoded = EncodeFTPCommand(command);
  if (!encoded) {
    c.error = kParamError;
    return false;
  }
  if (!c.io->IsControlUsable()) {
    c.error = kConnectionLost;
    return false;
  }
  if (Notify(c, FTPMessage::kCommandSent, FTPCommandForLog(command))) return true;
  if (!c.io->WriteControl(*encoded)) {
    c.error = kConnectionLost;
    return false;
  }
  return true;
}

void FTPConnectionOpenDataConnection(FTPConnectionParam& c) {
  if (ftp_internal::RequestDataConnection(c) == Step::kSendFailed) (void)ftp_internal::FailRequestStep(c);
}

void FTPConnectionCloseDataConnection(FTPConnectionParam& c) {
  ftp_internal::CloseData(c);
  if (!c.control_reading_held) return;
  c.control_reading_held = false;
  // Replies that waited for the data are handled now (unless a handler up the stack is
  // already at it).
  if (!c.handling_replies) HandleReplies(c);
}

bool FTPConnectionBeginTransfer(FTPConnectionParam& c) {
  if (Notify(c, FTPMessage::kBeginFile, std::nullopt)) return true;
  c.transfer_begun = true;
  if (c.current_file_name.empty()) return false;
  const bool skip_size =
      (c.flags & kFTPFlagNoSize) != 0 || (c.has_current_request && c.request_queue.front().no_size_check);
  Step step = skip_size ? ftp_internal::RequestDataConnection(c)
                        : Send(c, "SIZE " + c.current_file_name + "\r\n", kFTPStateSize);
  if (step == Step::kStopped) return true;
  if (step == Step::kSendFailed) return ftp_internal::FailRequestStep(c) == Step::kStopped;
  return false;
}

void FTPConnectionControlReceived(FTPConnectionParam& c, std::string_view bytes) {
  c.reply_buffer.append(bytes);
  if (c.control_reading_held || c.handling_replies) return;
  HandleReplies(c);
}

void FTPConnectionControlEnded(FTPConnectionParam& c) {
  c.error = kConnectionLost;
  (void)Notify(c, FTPMessage::kFailed, std::nullopt);
}

void FTPConnectionControlFailed(FTPConnectionParam& c, net::StreamError error) {
  c.error = error;
  (void)Notify(c, FTPMessage::kFailed, std::nullopt);
}

void FTPConnectionControlTlsDone(FTPConnectionParam& c, net::StreamError error) {
  if (error) {
    c.error = error;
    (void)Notify(c, FTPMessage::kFailed, std::nullopt);
    return;
  }
  c.control_tls = true;
  const Step step = Send(c, "PBSZ 0\r\n", kFTPStatePbsz);
  if (step == Step::kSendFailed) (void)Notify(c, FTPMessage::kFailed, std::nullopt);
}

void FTPConnectionDataOpened(FTPConnectionParam& c) {
  if (Notify(c, FTPMessage::kDataOpened, std::string())) return;
  // Active connections were announced by EPRT/PORT and the transfer command already went.
  if (c.data_via_listen) return;
  const Step step = SendRestartOrTransfer(c);
  if (step == Step::kSendFailed) (void)ftp_internal::FailRequestStep(c);
}

void FTPConnectionDataFailed(FTPConnectionParam& c, net::StreamError error) {
  if (error == net::StreamError{net::ErrorDomain::kPosix, net::posix_code::kConnectionRefused} &&
      !c.plain_port) {
    // The server's side refused: try the next way of making data connections.
    if (!c.active_mode) {
      c.active_mode = true;
    } else {
      c.plain_port = true;
    }
    ftp_internal::CloseData(c);
    const Step step = ftp_internal::RequestDataConnection(c);
    if (step == Step::kSendFailed) (void)ftp_internal::FailRequestStep(c);
    return;
  }
  c.error = error;
  (void)Notify(c, FTPMessage::kFailed, std::nullopt);
}

FTPDataResult FTPConnectionReadData(FTPConnectionParam& c, void* out, std::size_t size, std::size_t& got) {
  got = 0;
  net::StreamError error;
  const FTPDataResult result = c.io->ReadData(out, size, got, error);
  if (result == FTPDataResult::kError) c.error = error;
  return result;
}

FTPDataResult FTPConnectionWriteData(FTPConnectionParam& c, const void* data, std::size_t size,
                                     std::size_t& written) {
  written = 0;
  net::StreamError error;
  const FTPDataResult result = c.io->WriteData(data, size, written, error);
  if (result == FTPDataResult::kError) c.error = error;
  return result;
}

void FTPConnectionFinishDataWrites(FTPConnectionParam& c) {
  c.io->FinishDataWrites();
}

void FTPConnectionDataEventReceived(FTPConnectionParam& c, FTPDataEvent event, net::StreamError error) {
  if (event == FTPDataEvent::kError) c.error = error;
  if (c.data_callback) {
    // A copy, as for the client callback: the caller may drop the record meanwhile.
    auto callback = c.data_callback;
    callback(c, event);
  }
}

std::int64_t FTPConnectionParseListing(std::string_view bytes, std::optional<FTPResource>& resource) {
  return ParseFTPResourceListing(bytes, true, resource);
}

}  // namespace engine
