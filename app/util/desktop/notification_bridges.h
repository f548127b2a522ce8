#pragma once
// The process-local notification centre and the notifications posted through it from
// any thread (observers are called on the posting thread).

#include <string_view>

#include "platform/runtime/notification_center.h"

namespace util {

// Posted (no object) when a connection to a remote host opens or closes.
inline constexpr std::string_view kConnectedHostListChanged = "ConnectedHostListChanged";

// Posted (no object) when the file server starts or ends sending data to a peer.
inline constexpr std::string_view kDownloadServersChanged = "Running download servers changed";

// Posted (no object) when the file server starts or ends receiving a file from a peer.
inline constexpr std::string_view kUploadServersChanged = "Running upload servers changed";

// The centre that the windows and the models observe each other through.
runtime::NotificationCenter& GetLocalNotificationCenter();

void PostConnectedHostListChanged();
void PostDownloadServersChanged();
void PostUploadServersChanged();

}  // namespace util
