// The scheduler tick: which queued download it starts, and when it starts none.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/engine/services/download_engine_services.h"
#include "app/queue/adding/scheduled_items.h"
#include "app/queue/adding/start_download.h"
#include "app/queue/operations/queue_switch.h"
#include "app/queue/record/queue_file.h"
#include "app/queue/record/queue_tables.h"
#include "app/shell/shell_hooks.h"
#include "app/shell/shell_timers.h"
#include "app/util/settings/settings_store.h"

namespace {

using queue::DownloadUID;

struct Queued {
  DownloadUID uid;
  std::int32_t priority;  // 0 normal, 1 low, 2 high
  std::string host;
};

struct TickCase {
  std::string name;
  std::vector<Queued> queue;
  std::map<std::string, std::int32_t> runningPerHost;  // host counts of running downloads
  bool queueRunning = true;
  std::int16_t queueLength = 6;
  std::size_t activeDownloads = 0;
  std::optional<DownloadUID> started;  // nothing: no start
};

class SchedulerTickTest : public ::testing::TestWithParam<TickCase> {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    queue::FinishQueueFileSaves();
    queue::ClearQueueTables();
    queue::gActiveDownloads.clear();
    queue::CreateScheduledItemList();
    queue::gQueueRunning = false;
    engine::GetHostCounts().Clear();
    shell::SchedulerActionsSlot::RestoreDefaults();
    shell::ShellHooksSlot::Get() = {};
    util::ChangeSettings([](util::Settings& s) { s = util::Settings{}; });
  }

  static void Enqueue(const std::vector<Queued>& items) {
    for (const Queued& q : items) {
      auto wrapper = queue::DownloadQueueWrapper::Create();
      auto& e = wrapper->element();
      e.uid = q.uid;
      e.priority = q.priority;
      e.status = queue::kStatusQueued;
      e.domains = {q.host};
      queue::QueueItemsSet(q.uid, wrapper);
      queue::gQueueOrder.push_back(q.uid);
    }
    queue::RenumberQueue(0, queue::gQueueOrder.size());
  }
};

TEST_P(SchedulerTickTest, StartsAtMostTheOneDownloadThePrioritiesAndLimitsAllow) {
  const TickCase& c = GetParam();
  Enqueue(c.queue);
  for (const auto& [host, n] : c.runningPerHost) {
    engine::GetHostCounts().With([&](auto& counts) { return counts[host] = n; });
  }
  util::ChangeSettings([](util::Settings& s) {
    s.limitSimultaneousDownloads = true;
    s.maxDomainDownloads = 1;
  });
  for (std::size_t i = 0; i < c.activeDownloads; ++i) queue::gActiveDownloads.push_back(9000 + i);
  util::ChangeSettings([&](util::Settings& s) { s.queueLength = c.queueLength; });
  queue::gQueueRunning = c.queueRunning;

  std::vector<DownloadUID> starts;
  std::vector<std::string> calls;
  shell::SchedulerActionsSlot::Get().startDownload = [&](const queue::WrapperRef& w) {
    starts.push_back(w->element().uid);
    return 0;
  };
  auto& hooks = shell::ShellHooksSlot::Get();
  hooks.setUndoRegistrationEnabled = [&](bool on) { calls.push_back(on ? "undo on" : "undo off"); };

  const bool started = shell::SchedulerTick();

  if (c.started) {
    EXPECT_EQ(starts, std::vector<DownloadUID>{*c.started});
    EXPECT_TRUE(started);
    EXPECT_EQ(calls, (std::vector<std::string>{"undo off", "undo on"}));
  } else {
    EXPECT_TRUE(starts.empty());
    EXPECT_FALSE(started);
    EXPECT_TRUE(calls.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SchedulerTickTest,
    ::testing::Values(
        TickCase{"OnlyLowStartsTheFirst", {{1, 1, "a"}, {2, 1, "b"}}, {}, true, 6, 0, 1},
        TickCase{"NormalAnywhereBeatsLow", {{1, 1, "a"}, {2, 1, "b"}, {3, 0, "c"}}, {}, true, 6, 0, 3},
        TickCase{"HighAnywhereBeatsNormal",
                 {{1, 0, "a"}, {2, 1, "b"}, {3, 2, "c"}, {4, 2, "d"}},
                 {},
                 true,
                 6,
                 0,
                 3},
        TickCase{
            "HeadAtItsHostLimitIsPassedOver", {{1, 0, "busy"}, {2, 0, "free"}}, {{"busy", 1}}, true, 6, 0, 2},
        TickCase{"HighAtItsHostLimitLetsNormalStart",
                 {{1, 2, "busy"}, {2, 0, "free"}},
                 {{"busy", 1}},
                 true,
                 6,
                 0,
                 2},
        TickCase{"EveryHostAtItsLimitStartsNothing",
                 {{1, 0, "busy"}, {2, 2, "busy"}},
                 {{"busy", 1}},
                 true,
                 6,
                 0,
                 {}},
        TickCase{"UnknownPriorityIsSkipped", {{1, 7, "a"}}, {}, true, 6, 0, {}},
        TickCase{"QueueStoppedStartsNothing", {{1, 2, "a"}}, {}, false, 6, 0, {}},
        TickCase{"QueueLengthReachedStartsNothing", {{1, 2, "a"}}, {}, true, 2, 2, {}},
        TickCase{"BelowQueueLengthStarts", {{1, 2, "a"}}, {}, true, 2, 1, 1},
        TickCase{"EmptyQueueStartsNothing", {}, {}, true, 6, 0, {}}),
    [](const ::testing::TestParamInfo<TickCase>& info) { return info.param.name; });

TEST_F(SchedulerTickTest, CancelledStartStopsTheQueue) {
  Enqueue({{1, 0, "a"}});
  queue::gQueueRunning = true;
  queue::gQueueReady = true;
  shell::SchedulerActionsSlot::Get().startDownload = [](const queue::WrapperRef&) {
    return queue::kStartCancelled;
  };
  shell::SchedulerActionsSlot::Get().canStartUnderHostLimits = [](const queue::DownloadQueueElement&) {
    return true;
  };
  shell::SchedulerTick();
  EXPECT_FALSE(queue::gQueueRunning);
}

TEST_F(SchedulerTickTest, DueScheduledItemStartsEvenWithTheQueueStopped) {
  auto wrapper = queue::DownloadQueueWrapper::Create();
  wrapper->element().uid = 42;
  queue::QueueItemsSet(42, wrapper);
  queue::ScheduleDownload(wrapper, values::Now() - 10);
  std::vector<DownloadUID> starts;
  shell::SchedulerActionsSlot::Get().startDownload = [&](const queue::WrapperRef& w) {
    starts.push_back(w->element().uid);
    return 0;
  };
  EXPECT_TRUE(shell::SchedulerTick());
  EXPECT_EQ(starts, std::vector<DownloadUID>{42});
}

}  // namespace
