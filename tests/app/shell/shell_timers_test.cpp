// Autosave, the per-pass day boundaries, the network watch and the quit's wait.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/engine/services/download_engine_services.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/shell_timers.h"
#include "app/shell/shutdown.h"
#include "app/util/settings/settings_store.h"
#include "platform/net/reachability.h"
#include "platform/runtime/run_loop.h"
#include "platform/values/date_time.h"

namespace {

std::filesystem::path QueueFilePath() {
  auto ref = queue::QueueFileRef();
  return ref.ok() ? std::filesystem::path(ref->Path()) : std::filesystem::path();
}

class ShellTimersTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    queue::FinishQueueFileSaves();
    queue::ClearQueueTables();
    shell::ShellHooksSlot::Get() = {};
    shell::SetShutdownDelay(nullptr);
    std::filesystem::remove(QueueFilePath());
  }
};

TEST_F(ShellTimersTest, AutosaveWritesTheQueueOnlyWhenItChanged) {
  int uploadSaves = 0;
  bool uploadsChanged = false;
  auto& hooks = shell::ShellHooksSlot::Get();
  hooks.uploadsChanged = [&] { return uploadsChanged; };
  hooks.saveUploadQueue = [&] { ++uploadSaves; };

  shell::AutosaveTimer();
  EXPECT_FALSE(std::filesystem::exists(QueueFilePath()));
  EXPECT_EQ(uploadSaves, 0);

  queue::MarkQueueDirty();
  uploadsChanged = true;
  shell::AutosaveTimer();
  queue::FinishQueueFileSaves();  // written on the worker
  EXPECT_TRUE(std::filesystem::exists(QueueFilePath()));
  EXPECT_FALSE(queue::gQueueChanged);
  EXPECT_EQ(uploadSaves, 1);
}

TEST_F(ShellTimersTest, FolderSettingsAloneDoNotMakeTheAutosaveWrite) {
  queue::MarkFolderSettingsDirty();
  shell::AutosaveTimer();
  EXPECT_FALSE(std::filesystem::exists(QueueFilePath()));
}

TEST_F(ShellTimersTest, DayBoundariesStayFixedWithinOnePassAcrossMidnight) {
  values::ScopedDefaultTimeZone zone(*values::TimeZone::Named("Europe/Berlin"));
  auto clock = std::make_shared<values::ManualClock>();
  values::ScopedClock use(clock);
  // 2024-03-30 23:59:59 in Berlin; the night after changes to summer time.
  const double beforeMidnight = values::AssembleDate({2024, 3, 30, 23, 59, 59});
  clock->Set(beforeMidnight);
  shell::InvalidateDayBoundaries();
  const auto first = shell::GetRelativeDayBoundaries();
  clock->Set(beforeMidnight + 2);
  const auto second = shell::GetRelativeDayBoundaries();
  EXPECT_EQ(first.today, second.today);
  EXPECT_EQ(first.tomorrow, values::AssembleDate({2024, 3, 31}));
  // The day of the change is 23 hours long.
  EXPECT_EQ(first.dayAfter - first.tomorrow, 23 * 3600);

  shell::InvalidateDayBoundaries();  // the next pass
  const auto third = shell::GetRelativeDayBoundaries();
  EXPECT_EQ(third.today, first.tomorrow);
}

class FixedProbe : public net::ReachabilityProbe {
 public:
  explicit FixedProbe(unsigned flags) : flags(flags) {}
  unsigned FlagsForHost(std::string_view) override { return flags; }
  unsigned flags;
};

TEST_F(ShellTimersTest, NetworkWatchActsOnItsFirstReportOnly) {
  util::ChangeSettings([](util::Settings& s) {
    s.startOnLaunch = true;
    s.startIfConnected = true;
  });
  queue::gQueueReady = true;
  for (const bool reachable : {false, true}) {
    SCOPED_TRACE(reachable ? "reachable" : "unreachable");
    queue::gQueueRunning = false;
    auto probe = std::make_shared<FixedProbe>(reachable ? net::kReachabilityReachable : 0u);
    net::SetReachabilityProbe(probe);
    auto watch = shell::ReachabilityWatch::Start("example.org");
    runtime::RunLoop::Current()->RunFor(runtime::Nanoseconds(0));
    EXPECT_FALSE(watch->IsActive());
    EXPECT_EQ(queue::gQueueRunning, reachable);
    // A later change is not acted on.
    queue::gQueueRunning = false;
    probe->flags = reachable ? 0u : net::kReachabilityReachable;
    net::ReachabilityTarget::AnnounceChange();
    runtime::RunLoop::Current()->RunFor(runtime::Nanoseconds(0));
    EXPECT_FALSE(queue::gQueueRunning);
  }
  net::SetReachabilityProbe(nullptr);
}

TEST_F(ShellTimersTest, QuitSavesTheQueueBeforeWaitingForAStuckDownload) {
  auto wrapper = queue::DownloadQueueWrapper::Create();
  wrapper->element().uid = 7;
  wrapper->element().status = queue::kStatusDownloading;
  auto stop = std::make_shared<engine::DownloadStopSource>();
  wrapper->element().stopSource = stop;
  queue::QueueItemsSet(7, wrapper);
  queue::MarkQueueDirty();

  int streams = 1;
  int polls = 0;
  bool savedBeforeWaiting = false;
  auto& hooks = shell::ShellHooksSlot::Get();
  hooks.runningDownloadStreams = [&] { return streams; };
  shell::SetShutdownDelay([&](runtime::Nanoseconds step) {
    EXPECT_EQ(step, shell::kShutdownPollInterval);
    if (polls++ == 0) savedBeforeWaiting = std::filesystem::exists(QueueFilePath());
    // The task stops only after a few looks, as a task busy in a system call does.
    if (polls == 3) streams = 0;
  });

  shell::Shutdown();

  EXPECT_TRUE(stop->IsSignalled());
  EXPECT_TRUE(savedBeforeWaiting);
  EXPECT_EQ(polls, 3);
  EXPECT_FALSE(queue::gQueueChanged);
}

TEST_F(ShellTimersTest, QuitWithNothingRunningDoesNotWait) {
  int polls = 0;
  shell::SetShutdownDelay([&](runtime::Nanoseconds) { ++polls; });
  shell::Shutdown();
  EXPECT_EQ(polls, 0);
  EXPECT_FALSE(std::filesystem::exists(QueueFilePath()));
}

}  // namespace
