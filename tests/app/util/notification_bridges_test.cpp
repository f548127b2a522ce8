#include "app/util/desktop/notification_bridges.h"
#include "app/util/desktop/update_bridges.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/fakes/fake_updater.h"

namespace {

TEST(NotificationBridges, ConnectedHostListChangeReachesLocalObserversFromAnyThread) {
  EXPECT_EQ(&util::GetLocalNotificationCenter(), &runtime::NotificationCenter::Default());
  int calls = 0;
  bool had_object = true;
  runtime::Subscription sub = util::GetLocalNotificationCenter().AddObserver(
      "ConnectedHostListChanged", {}, [&](const runtime::Notification& n) {
        ++calls;
        had_object = static_cast<bool>(n.object);
      });
  std::thread([] { util::PostConnectedHostListChanged(); }).join();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(had_object);
}

TEST(UpdateBridges, CheckGoesToTheUpdater) {
  fakes::ScopedFakeUpdater updater;
  util::CheckForUpdates();
  EXPECT_EQ(updater->calls, (std::vector<std::string>{"check"}));
}

}  // namespace
