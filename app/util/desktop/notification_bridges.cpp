#include "app/util/desktop/notification_bridges.h"

#include <string>

namespace util {

runtime::NotificationCenter& GetLocalNotificationCenter() {
  return runtime::NotificationCenter::Default();
}

void PostConnectedHostListChanged() {
  GetLocalNotificationCenter().Post(std::string(kConnectedHostListChanged));
}

void PostDownloadServersChanged() {
  GetLocalNotificationCenter().Post(std::string(kDownloadServersChanged));
}

void PostUploadServersChanged() {
  GetLocalNotificationCenter().Post(std::string(kUploadServersChanged));
}

}  // namespace util
