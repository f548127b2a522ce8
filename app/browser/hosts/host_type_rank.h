#pragma once
// Where a kind of server goes in a sorted list of servers: copies reached by address first,
// then copies found by Bonjour, FTP and FTPS, iDisk. WebDAV servers go with the first in the
// source list's host rows and after the others among the saved servers.

#include <cstdint>

#include "app/browser/services/remote_rows.h"

namespace browser {

enum class WebDAVPlace { kFirst, kLast };

constexpr int HostTypeRank(std::int32_t type, WebDAVPlace webDAV) {
  switch (type) {
    case kHostPeerByAddress:
      return 0;
    case kHostBonjourPeer:
      return 1;
    case kHostFTP:
    case kHostFTPS:
      return 2;
    case kHostIDisk:
      return 3;
    case kHostWebDAV:
    case kHostSecureWebDAV:
      return webDAV == WebDAVPlace::kFirst ? 0 : 4;
    default:
      return 0;
  }
}

}  // namespace browser
