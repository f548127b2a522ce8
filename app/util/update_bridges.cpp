#include "app/util/update_bridges.h"

#include "platform/desktop/updater.h"

namespace util {

void CheckForUpdates() {
  desktop::GetUpdater().CheckForUpdates();
}

}  // namespace util
