// Local and distributed notification centres, and the as-soon-as-possible queue.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/distributed_notification_center.h"
#include "platform/runtime/notification_center.h"
#include "platform/runtime/run_loop.h"
#include "platform/runtime/value_wire.h"

namespace runtime {
namespace {

using namespace std::chrono_literals;

TEST(NotificationCenterTest, ObserversFilterByNameAndObject) {
  auto center = NotificationCenter::Create();
  auto window = std::make_shared<int>(1);
  auto other = std::make_shared<int>(2);
  std::vector<std::string> seen;
  auto by_name = center->AddObserver("active downloads change", {},
                                     [&](const Notification& n) { seen.push_back("name:" + n.name); });
  auto by_object = center->AddObserver("DragLeftWindow", ObjectHandle::Of(window),
                                       [&](const Notification& n) { seen.push_back("window:" + n.name); });
  auto everything =
      center->AddObserver("", {}, [&](const Notification& n) { seen.push_back("all:" + n.name); });

  center->Post("active downloads change");
  center->Post("DragLeftWindow", ObjectHandle::Of(other));
  center->Post("DragLeftWindow", ObjectHandle::Of(window));
  EXPECT_EQ(seen,
            (std::vector<std::string>{"name:active downloads change", "all:active downloads change",
                                      "all:DragLeftWindow", "window:DragLeftWindow", "all:DragLeftWindow"}));

  seen.clear();
  everything.Cancel();
  { auto gone = std::move(by_name); }  // a subscription ends with its owner
  center->Post("active downloads change");
  EXPECT_TRUE(seen.empty());
}

TEST(NotificationCenterTest, UserInfoReachesObserver) {
  auto center = NotificationCenter::Create();
  std::int64_t batch = 0;
  auto sub = center->AddObserver("batchActionChange", {},
                                 [&](const Notification& n) { n.user_info.GetInt64("batchID", batch); });
  center->Post("batchActionChange", {}, values::Value{{"batchID", values::Value(77)}});
  EXPECT_EQ(batch, 77);
}

TEST(NotificationQueueTest, AsapNotificationsCoalesceByNameAndArriveInTheNextPass) {
  std::thread([] {
    auto center = NotificationCenter::Create();
    std::vector<std::string> seen;
    auto sub = center->AddObserver("", {}, [&](const Notification& n) { seen.push_back(n.name); });
    auto& queue = NotificationQueue::Current();
    queue.EnqueueAsap({"RedisplayCurrentFolder"}, NotificationQueue::Coalesce::kByName, center.get());
    queue.EnqueueAsap({"RedisplayCurrentFolder"}, NotificationQueue::Coalesce::kByName, center.get());
    queue.EnqueueAsap({"other"}, NotificationQueue::Coalesce::kNone, center.get());
    queue.EnqueueAsap({"other"}, NotificationQueue::Coalesce::kNone, center.get());
    EXPECT_TRUE(seen.empty()) << "not delivered while posting";
    RunLoop::Current()->PerformPass();
    EXPECT_EQ(seen, (std::vector<std::string>{"RedisplayCurrentFolder", "other", "other"}));
  }).join();
}

TEST(ValueWireTest, RoundTripsEveryTypeAndRejectsDamage) {
  values::Value v{{"n16", values::Value(std::int16_t{-3})},
                  {"big", values::Value(std::uint64_t{1} << 63)},
                  {"f", values::Value(1.5f)},
                  {"s", values::Value("héllo")},
                  {"d", values::Value(values::Date{12.25})},
                  {"data", values::Value(values::Data{{0, 255, 7}})},
                  {"a", values::Value(values::Array{values::Value(true), values::Value()})}};
  std::string bytes;
  wire::AppendValue(bytes, v);
  std::size_t pos = 0;
  auto back = wire::ReadValue(bytes, pos);
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, v);
  EXPECT_EQ(pos, bytes.size());
  EXPECT_EQ(back->Find("n16")->AsNumber()->kind, values::Number::Kind::kInt16);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    std::size_t p = 0;
    EXPECT_FALSE(wire::ReadValue(std::string_view(bytes).substr(0, cut), p)) << "cut at " << cut;
  }
}

TEST(DistributedNotificationTest, FolderIsPrivate) {
  const std::string folder = DistributedNotificationCenter::Folder();
  ASSERT_FALSE(folder.empty());
  struct stat st {};
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat((folder + "/..").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(DistributedNotificationTest, SecondConnectionOnAnotherThreadReceives) {
  std::promise<void> listening;
  std::string got_name;
  values::Value got_info;
  std::thread listener([&] {
    auto center = DistributedNotificationCenter::Open();
    Status status = -1;
    auto sub = center->AddObserver(
        std::string(kContextPrefsChangeNotification),
        [&](const std::string& name, const values::Value& info) {
          got_name = name;
          got_info = info;
          RunLoop::Current()->Stop();
        },
        &status);
    EXPECT_EQ(status, kNoErr);
    listening.set_value();
    EXPECT_EQ(RunLoop::Current()->RunFor(5s), RunResult::kStopped);
  });
  listening.get_future().wait();
  EXPECT_EQ(DistributedNotificationCenter::Post("unrelated.name"), kNoErr);
  EXPECT_EQ(DistributedNotificationCenter::Post(kContextPrefsChangeNotification,
                                                values::Value{{"advanced_mode", values::Value(false)}}),
            kNoErr);
  listener.join();
  EXPECT_EQ(got_name, kContextPrefsChangeNotification);
  EXPECT_EQ(got_info, (values::Value{{"advanced_mode", values::Value(false)}}));
}

TEST(DistributedNotificationTest, PostFromAnotherProcessArrives) {
  std::thread([] {
    auto center = DistributedNotificationCenter::Open();
    std::vector<std::string> names;
    auto sub = center->AddObserver("", [&](const std::string& name, const values::Value&) {
      names.push_back(name);
      if (names.size() == 2) RunLoop::Current()->Stop();
    });
    const pid_t child = fork();
    if (child == 0) {
      // Only the posting call in the child: it needs no centre, loop or lock.
      Status s = DistributedNotificationCenter::Post(kBrowserConfigurationChangingNotification);
      s |= DistributedNotificationCenter::Post(kPluginChangingBrowserConfigNotification);
      _exit(s == kNoErr ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int wstatus = 0;
    waitpid(child, &wstatus, 0);
    EXPECT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
    EXPECT_EQ(RunLoop::Current()->RunFor(5s), RunResult::kStopped);
    EXPECT_EQ(names, (std::vector<std::string>{std::string(kBrowserConfigurationChangingNotification),
                                               std::string(kPluginChangingBrowserConfigNotification)}));
  }).join();
}

TEST(DistributedNotificationTest, SocketsOfClosedCentresAreCleanedUp) {
  const std::string folder = DistributedNotificationCenter::Folder();
  std::thread([&] {
    auto center = DistributedNotificationCenter::Open();
    auto sub = center->AddObserver("x", [](const std::string&, const values::Value&) {});
  }).join();
  // A socket left by a crashed process: bound, then its owner vanished without unlinking.
  const std::string stale = folder + "/stale.sock";
  {
    UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", stale.c_str());
    ASSERT_EQ(bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  }
  EXPECT_EQ(DistributedNotificationCenter::Post("anything"), kNoErr);
  struct stat st {};
  EXPECT_NE(stat(stale.c_str(), &st), 0) << "posting removes sockets nobody reads";
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    entries += e.path().filename() != "" ? 1 : 0;
  EXPECT_EQ(entries, 0);
}

}  // namespace
}  // namespace runtime
