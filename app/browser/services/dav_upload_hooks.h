#pragma once
// What the online-disk and WebDAV browser asks of the uploads: queue one local file or
// folder for upload into a folder of an open connection (UploadAliasToDAVNode).
//
// The uploads install the hook at start-up; until then nothing is queued.
//
// Main thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "platform/runtime/hook_slot.h"

namespace browser {

struct DAVUploadTarget {
  std::int32_t hostType = 6;  // 5 the online disk, 6 WebDAV, 7 WebDAV over https
  std::string host;           // type 5: the disk's base URL with its scheme; else host[:port]
  std::string path;           // the remote folder
  std::string user;
  std::string password;
};

struct DAVUploadHooks {
  // False when the upload could not be queued.
  std::function<bool(const std::string& localPath, const DAVUploadTarget& target)> uploadAliasToDAVNode;
};
using DAVUploadHooksSlot = runtime::HookSlot<DAVUploadHooks>;

}  // namespace browser
