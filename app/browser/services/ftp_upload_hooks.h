#pragma once
// What the FTP browser asks of the uploads: queue one local file for upload into a folder
// of an open FTP or FTPS connection (UploadAliasToFTPNode), with that connection's host,
// user, password and security.
//
// The uploads install the hook at start-up; until then nothing is queued and the browser
// says so in the connection's log.
//
// Main thread only.

#include <functional>
#include <string>

#include "platform/runtime/hook_slot.h"

namespace browser {

struct FTPUploadTarget {
  std::string host;  // with ":port" when the connection has one
  std::string path;  // the remote folder from the server's root, after "%2F"
  std::string user;
  std::string password;
  bool secure = false;  // host type 4 instead of 1
};

struct FTPUploadHooks {
  // False when the upload could not be queued.
  std::function<bool(const std::string& localPath, const FTPUploadTarget& target)> uploadAliasToFTPNode;
};
using FTPUploadHooksSlot = runtime::HookSlot<FTPUploadHooks>;

}  // namespace browser
