#include "app/engine/ftp/ftp_request_queue.h"

#include <cstdio>

#include "app/engine/ftp/ftp_connection_internal.h"

namespace engine {

using ftp_internal::Notify;
using ftp_internal::Send;
using ftp_internal::Step;

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string WithoutLeadingSlash(std::string path) {
  if (StartsWith(path, "/")) path.erase(0, 1);
  return path;
}

const std::string& Base(const FTPConnectionParam& c) {
  static const std::string kRoot = "/";
  return c.base_path ? *c.base_path : kRoot;
}

// The absolute directory a request path names.
std::string RequestDirectory(const FTPConnectionParam& c, const std::string& path) {
  for (std::string_view prefix : {"%2F", "/%2F"}) {
    if (StartsWith(path, prefix)) {
      std::string rest = path.substr(prefix.size());
      if (!StartsWith(rest, "/")) rest.insert(0, "/");
      return rest;
    }
  }
  if (StartsWith(path, "/")) return path;
  return Base(c) + path;
}

bool SameDirectory(std::string a, std::string b) {
  while (a.size() > 1 && a.ends_with('/')) a.pop_back();
  while (b.size() > 1 && b.ends_with('/')) b.pop_back();
  return a == b;
}

// (directory, name) of "a/b/c": ("a/b", "c"); of "c": ("", "c").
std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {std::string(), path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

// Changes into the request's directory, or, when already there, goes straight on.
Step ChangeToThenContinue(FTPConnectionParam& c, const std::string& path) {
  const std::string target = RequestDirectory(c, path);
  if (SameDirectory(target, c.current_directory) && c.directory_entered) {
    return ftp_internal::ContinueRequestAfterCwd(c, true);
  }
  c.pending_directory = target;
  return Send(c, "CWD " + target + "\r\n", kFTPStateCwd);
}

Step EnterNewFolder(FTPConnectionParam& c) {
  const FTPRequest& r = c.request_queue.front();
  c.pending_directory =
      c.current_directory + (c.current_directory.ends_with('/') ? "" : "/") + r.new_folder_name.value_or("");
  return Send(c, "CWD " + c.pending_directory + "\r\n", kFTPStateCwd);
}

// Reports the end of a one-command request and finishes it, unless the client already
// did (or stopped).
Step EndRequest(FTPConnectionParam& c, FTPMessage message, std::optional<std::string> text) {
  const std::uint64_t serial = c.request_serial;
  c.state = kFTPStateIdle;
  if (Notify(c, message, std::move(text))) return Step::kStopped;
  if (c.has_current_request && c.request_serial == serial && !c.request_finished)
    FTPConnectionFinishRequest(c);
  return Step::kDone;
}

Step RunSendStep(FTPConnectionParam& c, Step step) {
  if (step == Step::kSendFailed) return ftp_internal::FailRequestStep(c);
  return step;
}

void Enqueue(FTPConnectionParam& c, FTPRequest request) {
  c.request_queue.push_back(std::move(request));
  // A request already running (a listing after its 226, before the client finished it)
  // is still the head: only a free connection starts one.
  if (c.state == kFTPStateIdle && !c.has_current_request) FTPConnectionStartNextRequest(c);
}

}  // namespace

namespace ftp_internal {

Step StartNextRequest(FTPConnectionParam& c) {
  if (c.state != kFTPStateIdle) return Step::kDone;
  if (c.request_queue.empty()) {
    c.has_current_request = false;
    return Notify(c, FTPMessage::kQueueEmpty, std::nullopt) ? Step::kStopped : Step::kDone;
  }
  if (Notify(c, FTPMessage::kRequestStarting, std::nullopt)) return Step::kStopped;
  if (c.request_queue.empty() || c.has_current_request || c.state != kFTPStateIdle) return Step::kDone;
  c.request_finished = false;
  c.request_steps = 0;
  c.has_current_request = true;
  ++c.request_serial;
  FTPRequest& r = c.request_queue.front();
  c.current_request_type = static_cast<int>(r.type);
  switch (r.type) {
    case FTPRequestType::kMoveItem:
      if (r.old_path_base_needed) r.old_path = Base(c) + r.old_path;
      if (r.new_path_base_needed) r.new_path = Base(c) + r.new_path;
      r.old_path_base_needed = r.new_path_base_needed = false;
      if (r.change_to) return ChangeToThenContinue(c, *r.change_to);
      return Send(c, "RNFR " + r.old_path + "\r\n", kFTPStateRenameFrom);
    case FTPRequestType::kUploadFiles:
    case FTPRequestType::kListFolder:
    case FTPRequestType::kCreateFolder:
      return ChangeToThenContinue(c, r.path);
    case FTPRequestType::kChangePermissions:
    case FTPRequestType::kRemoveFolder:
    case FTPRequestType::kDeleteFile:
      return ChangeToThenContinue(c, SplitPath(r.path).first);
  }
  // An unknown type: dropped.
  return DropHeadAndStartNext(c);
}

Step ContinueRequestAfterCwd(FTPConnectionParam& c, bool success) {
  if (!c.has_current_request) {
    c.state = kFTPStateIdle;
    return success ? Step::kDone : Step::kRefused;
  }
  FTPRequest& r = c.request_queue.front();
  switch (r.type) {
    case FTPRequestType::kMoveItem:
      if (!success) {
        c.state = kFTPStateIdle;
        return Step::kRefused;  // the client finishes the request
      }
      return Send(c, "RNFR " + r.old_path + "\r\n", kFTPStateRenameFrom);
    case FTPRequestType::kUploadFiles:
      if (success) {
        if ((c.request_steps & 1) == 0 && r.new_folder_name) {
          c.request_steps |= 1;
          return EnterNewFolder(c);
        }
        return FTPConnectionBeginTransfer(c) ? Step::kStopped : Step::kDone;
      }
      if ((c.request_steps & 1) != 0 && (c.request_steps & 2) == 0) {
        // The new folder does not exist yet: make it.
        c.request_steps &= ~1u;
        return Send(c, "MKD " + r.new_folder_name.value_or("") + "\r\n", kFTPStateMakeFolder);
      }
      return EndRequest(c, FTPMessage::kFailed, std::nullopt);
    case FTPRequestType::kChangePermissions: {
      char mode[16];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(r.mode) & 07777u);
      const std::string target = success ? SplitPath(r.path).second : Base(c) + r.path;
      return Send(c, std::string("SITE CHMOD ") + mode + " " + target + "\r\n", kFTPStateChmod);
    }
    case FTPRequestType::kListFolder:
      if (!success) {
        c.state = kFTPStateIdle;
        return Step::kRefused;  // the client finishes the request
      }
      return RequestDataConnection(c);
    case FTPRequestType::kRemoveFolder:
    case FTPRequestType::kDeleteFile: {
      const bool remove_folder = r.type == FTPRequestType::kRemoveFolder;
      // A link to a folder is removed as the file it is, never by RMD.
      const char* verb = remove_folder && !r.is_link ? "RMD " : "DELE ";
      const std::string target = success ? SplitPath(r.path).second : Base(c) + r.path;
      return Send(c, verb + target + "\r\n", remove_folder ? kFTPStateRemoveFolder : kFTPStateDeleteFile);
    }
    case FTPRequestType::kCreateFolder:
      if (success) return Send(c, "MKD " + r.name + "\r\n", kFTPStateMakeFolder);
      return Send(
          c,
          "MKD " + Base(c) + r.path + (r.path.ends_with('/') || r.path.empty() ? "" : "/") + r.name + "\r\n",
          kFTPStateMakeFolder);
  }
  return Step::kRefused;
}

Step HandleRequestReply(FTPConnectionParam& c, const FTPReply& reply) {
  if (!c.has_current_request) return Step::kRefused;
  FTPRequest& r = c.request_queue.front();
  const int code = reply.code;
  auto end = [&](bool success) {
    return success ? EndRequest(c, FTPMessage::kTransferAnswered, reply.last_line)
                   : EndRequest(c, FTPMessage::kFailed, reply.text);
  };
  switch (c.state) {
    case kFTPStateDeleteFile:
    case kFTPStateRemoveFolder:
      return end(code == 250);
    case kFTPStateMakeFolder:
      if ((code == 250 || code == 257) && r.type == FTPRequestType::kUploadFiles) {
        c.request_steps |= 3;
        r.no_size_check = true;  // a new folder holds none of the files yet
        return EnterNewFolder(c);
      }
      return end(code == 250 || code == 257);
    case kFTPStateChmod:
      return end(code >= 200 && code < 300);
    case kFTPStateRenameFrom:
      if (code == 350) return Send(c, "RNTO " + r.new_path + "\r\n", kFTPStateRenameTo);
      return end(false);
    case kFTPStateRenameTo:
      return end(code == 250);
    default:
      return Step::kRefused;
  }
}

Step DropHeadAndStartNext(FTPConnectionParam& c) {
  if (c.has_current_request && !c.request_queue.empty()) c.request_queue.pop_front();
  c.has_current_request = false;
  c.state = kFTPStateIdle;
  return RunSendStep(c, StartNextRequest(c));
}

Step FailRequestStep(FTPConnectionParam& c) {
  if (Notify(c, FTPMessage::kFailed, std::nullopt)) return Step::kStopped;
  if (!c.queue_mode || !c.has_current_request) return Step::kDone;
  CloseData(c);
  return DropHeadAndStartNext(c);
}

}  // namespace ftp_internal

void FTPConnectionStartNextRequest(FTPConnectionParam& c) {
  (void)RunSendStep(c, ftp_internal::StartNextRequest(c));
}

void FTPConnectionFinishRequest(FTPConnectionParam& c) {
  if (!c.has_current_request || c.request_finished) return;
  ftp_internal::CloseData(c);
  c.request_finished = true;
  c.request_queue.pop_front();
  c.has_current_request = false;
  FTPConnectionStartNextRequest(c);
}

void FTPConnectionQueueListFolder(FTPConnectionParam& c, std::string path, std::shared_ptr<void> client) {
  FTPRequest r;
  r.type = FTPRequestType::kListFolder;
  r.path = WithoutLeadingSlash(std::move(path));
  r.client = std::move(client);
  Enqueue(c, std::move(r));
}

void FTPConnectionQueueUpload(FTPConnectionParam& c, std::string remote_path,
                              std::optional<std::string> new_folder_name, std::shared_ptr<void> client) {
  FTPRequest r;
  r.type = FTPRequestType::kUploadFiles;
  r.path = WithoutLeadingSlash(std::move(remote_path));
  r.new_folder_name = std::move(new_folder_name);
  r.client = std::move(client);
  Enqueue(c, std::move(r));
}

void FTPConnectionQueueCreateFolder(FTPConnectionParam& c, std::string parent_path, std::string name,
                                    std::shared_ptr<void> parent) {
  FTPRequest r;
  r.type = FTPRequestType::kCreateFolder;
  r.path = WithoutLeadingSlash(std::move(parent_path));
  r.name = std::move(name);
  r.parent = std::move(parent);
  Enqueue(c, std::move(r));
}

void FTPConnectionQueueMove(FTPConnectionParam& c, std::string old_path, std::string new_path,
                            std::optional<std::string> change_to, std::shared_ptr<void> client,
                            std::shared_ptr<void> old_parent, std::shared_ptr<void> new_parent) {
  FTPRequest r;
  r.type = FTPRequestType::kMoveItem;
  auto place = [&](std::string path, bool& base_needed) {
    if (change_to || StartsWith(path, "/")) return path;
    if (c.base_path) return *c.base_path + path;
    base_needed = true;  // completed when the request starts, after the login
    return path;
  };
  r.old_path = place(std::move(old_path), r.old_path_base_needed);
  r.new_path = place(std::move(new_path), r.new_path_base_needed);
  r.change_to = std::move(change_to);
  r.client = std::move(client);
  r.old_parent = std::move(old_parent);
  r.new_parent = std::move(new_parent);
  Enqueue(c, std::move(r));
}

void FTPConnectionQueueRename(FTPConnectionParam& c, std::optional<std::string> change_to,
                              std::string old_path, std::string new_path, std::shared_ptr<void> client,
                              std::shared_ptr<void> parent) {
  FTPConnectionQueueMove(c, std::move(old_path), std::move(new_path), std::move(change_to), std::move(client),
                         parent, parent);
}

void FTPConnectionQueueChangePermissions(FTPConnectionParam& c, std::string path, int mode,
                                         std::shared_ptr<void> client) {
  FTPRequest r;
  r.type = FTPRequestType::kChangePermissions;
  r.path = WithoutLeadingSlash(std::move(path));
  r.mode = mode;
  r.client = std::move(client);
  Enqueue(c, std::move(r));
}

void FTPConnectionQueueDeleteFile(FTPConnectionParam& c, std::string path, std::shared_ptr<void> parent,
                                  std::shared_ptr<void> item) {
  FTPRequest r;
  r.type = FTPRequestType::kDeleteFile;
  r.path = WithoutLeadingSlash(std::move(path));
  r.parent = std::move(parent);
  r.item = std::move(item);
  Enqueue(c, std::move(r));
}

void FTPConnectionQueueRemoveFolder(FTPConnectionParam& c, std::string path, bool is_link,
                                    std::shared_ptr<void> parent, std::shared_ptr<void> item) {
  FTPRequest r;
  r.type = FTPRequestType::kRemoveFolder;
  r.path = WithoutLeadingSlash(std::move(path));
  r.is_link = is_link;
  r.parent = std::move(parent);
  r.item = std::move(item);
  Enqueue(c, std::move(r));
}

}  // namespace engine
