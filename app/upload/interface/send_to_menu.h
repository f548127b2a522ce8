#pragma once
// The send-to menu of the lists' contextual menu, as data: the windows draw it, the
// uploads decide what it holds and what choosing an entry sends where.
//
// Entries, in order: the file-hosting service; one entry per known remote server (in the
// remote-server list's order, each with its type's icon); after at least one server a
// separator; then "Other...", which opens the send-files window.
//
// Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/values/fourcc.h"

namespace upload {

// One known destination of the remote-server list, as the menu needs it.
struct SendToHost {
  std::int32_t hostType = 1;
  std::string title;                  // the peer's or the root node's name; empty: no entry
  std::string host;                   // FTP and WebDAV: the server; peers: the service name or "address:port"
  std::optional<std::string> domain;  // Bonjour peers
  std::string user;
  std::string password;
  std::string rootPath;     // FTP, WebDAV, iDisk: the path of the server's root node
  bool publicDisk = false;  // iDisk: a public disk
};

enum class SendToKind { kFileHosting, kHost, kSeparator, kOther };

struct SendToMenuItem {
  SendToKind kind = SendToKind::kOther;
  std::string title;
  values::FourCharCode iconCreator = 0;  // 0: a system icon of type iconType
  values::FourCharCode iconType = 0;
  std::optional<SendToHost> host;
};

std::vector<SendToMenuItem> CreateSendToMenu(const std::vector<SendToHost>& hosts);

// Sends the local items (files or folders of downloads, uploads, received files) to the
// entry's destination. Answers how many uploads were queued.
int SendItemsToMenuHost(const std::vector<std::string>& paths, const SendToMenuItem& entry);

}  // namespace upload
