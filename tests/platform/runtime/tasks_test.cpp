// Tasks, message queues, queue timers, critical regions and the clock.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/runtime/clock.h"
#include "platform/runtime/critical_region.h"
#include "platform/runtime/message_queue.h"
#include "platform/runtime/queue_timer.h"
#include "platform/runtime/task.h"

namespace runtime {
namespace {

using namespace std::chrono_literals;

TEST(MessageQueueTest, MessagesArriveInOrderFromAnyThread) {
  MessageQueue queue;
  std::thread sender([&] {
    for (Word i = 1; i <= 3; ++i) EXPECT_EQ(queue.Notify(i, i * 10, i * 100), kNoErr);
  });
  for (Word i = 1; i <= 3; ++i) {
    Message m;
    ASSERT_EQ(queue.Wait(m, 5s), kNoErr);
    EXPECT_EQ(m, (Message{i, i * 10, i * 100}));
  }
  sender.join();
}

TEST(MessageQueueTest, WaitWithTimeOutReportsTimeout) {
  MessageQueue queue;
  Message m;
  EXPECT_EQ(queue.Wait(m, 0ns), kTimeoutErr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.Wait(m, 20ms), kTimeoutErr);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST(MessageQueueTest, WaitWithTimeOutFollowsFakeClock) {
  ScopedFakeClock clock;
  MessageQueue queue;
  std::atomic<Status> result{1};
  std::thread waiter([&] {
    Message m;
    result = queue.Wait(m, 10s);
  });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(result.load(), 1) << "a fake 10 s must not pass in real milliseconds";
  // The waiter may start its wait only now on a loaded machine, its 10 s counted from a
  // later fake time: the clock moves a second at a time until the wait ends (bounded in
  // real time), and never fewer than ten.
  auto moved = 0s;
  for (const auto until = std::chrono::steady_clock::now() + 30s;
       result.load() == 1 && std::chrono::steady_clock::now() < until;) {
    clock.Advance(1s);
    moved += 1s;
    std::this_thread::sleep_for(1ms);
  }
  if (result.load() == 1) clock.Advance(1h);  // lets the waiter go before the failure
  waiter.join();
  EXPECT_EQ(result.load(), kTimeoutErr);
  EXPECT_GE(moved, 10s);
}

TEST(MessageQueueTest, DeletingQueueWakesWaiterWithError) {
  QueueId id;
  ASSERT_EQ(CreateQueue(id), kNoErr);
  std::atomic<Status> result{1};
  std::thread waiter([&] {
    Message m;
    result = WaitOnQueue(id, m);  // no time-out: only the deletion can end it
  });
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(DeleteQueue(id), kNoErr);
  waiter.join();
  EXPECT_EQ(result.load(), kQueueDeletedErr);
}

TEST(MessageQueueTest, DeletedIdIsNeverReached) {
  QueueId first;
  CreateQueue(first);
  DeleteQueue(first);
  QueueId second;
  CreateQueue(second);
  EXPECT_NE(first, second);
  EXPECT_EQ(NotifyQueue(first, 1, 2, 3), kInvalidIdErr);
  EXPECT_EQ(DeleteQueue(first), kInvalidIdErr);
  Message m;
  EXPECT_EQ(WaitOnQueue(second, m, 0ns), kTimeoutErr) << "the message to the old id went nowhere";
  DeleteQueue(second);
}

TEST(MessageQueueTest, QueueIdTravelsInAMessage) {
  // The limiter pattern: a request carries the reply queue's id in a word.
  MessageQueue requests;
  MessageQueue replies;
  std::thread server([&] {
    Message m;
    ASSERT_EQ(requests.Wait(m, 5s), kNoErr);
    NotifyQueue(static_cast<QueueId>(m.p2), m.p1 / 2, 0, 0);
  });
  requests.Notify(1000, replies.id(), 0);
  Message reply;
  ASSERT_EQ(replies.Wait(reply, 5s), kNoErr);
  EXPECT_EQ(reply.p1, 500u);
  server.join();
}

// Under a fake clock a timed wait counts fake time; these waits are bounded in real time
// (generously where something must come: a loaded machine may be slow to deliver it).
Status WaitReal(const MessageQueue& queue, Message& m, std::chrono::milliseconds bound) {
  const auto end = std::chrono::steady_clock::now() + bound;
  for (;;) {
    const Status s = queue.Wait(m, 0ns);
    if (s != kTimeoutErr || std::chrono::steady_clock::now() >= end) return s;
    std::this_thread::sleep_for(1ms);
  }
}

TEST(QueueTimerTest, OneShotAndPeriodicPostUnderFakeClock) {
  ScopedFakeClock clock;
  MessageQueue queue;
  QueueTimer once(queue.id(), {7, 0, 1});
  QueueTimer periodic(queue.id(), {0, 0, 2});
  once.ArmAfter(250ms);
  periodic.ArmPeriodic(100ms);
  Message m;
  EXPECT_EQ(queue.Wait(m, 0ns), kTimeoutErr);

  clock.Advance(100ms);
  ASSERT_EQ(WaitReal(queue, m, 10s), kNoErr);
  EXPECT_EQ(m.p3, 2u);
  clock.Advance(100ms);
  ASSERT_EQ(WaitReal(queue, m, 10s), kNoErr);
  EXPECT_EQ(m.p3, 2u);
  clock.Advance(50ms);
  ASSERT_EQ(WaitReal(queue, m, 10s), kNoErr);
  EXPECT_EQ(m, (Message{7, 0, 1}));
  EXPECT_FALSE(once.IsArmed());
  EXPECT_TRUE(periodic.IsArmed());

  EXPECT_TRUE(periodic.Cancel());
  clock.Advance(1s);
  // The clock moved a whole second past: nothing more may come, and nothing in a burst.
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(queue.Wait(m, 0ns), kTimeoutErr);
}

TEST(QueueTimerTest, RearmingReplacesEarlierArming) {
  ScopedFakeClock clock;
  MessageQueue queue;
  QueueTimer timer(queue.id(), {1, 0, 1});
  timer.ArmAfter(100ms);
  timer.ArmAfter(300ms);
  clock.Advance(150ms);
  Message m;
  EXPECT_EQ(WaitReal(queue, m, 20ms), kTimeoutErr);
  clock.Advance(150ms);
  EXPECT_EQ(WaitReal(queue, m, 10s), kNoErr);
}

TEST(TaskTest, RunsWithNameStackAndResult) {
  MessageQueue ended;
  std::string seen_name;
  auto task = Task::Start({"limiter", 49152, ended.id()}, [&] {
    seen_name = CurrentTaskName();
    // A stack far beyond the 48 KB asked for: the minimum holds.
    volatile char buffer[256 * 1024];
    buffer[0] = 1;
    buffer[sizeof buffer - 1] = 2;
    return Status{-43};
  });
  ASSERT_TRUE(task);
  EXPECT_GE(task->stack_size(), Task::kMinimumStackSize);
  Status result = 0;
  ASSERT_TRUE(task->WaitFor(5s, &result));
  EXPECT_EQ(result, -43);
  EXPECT_FALSE(task->IsRunning());
  EXPECT_EQ(seen_name, "limiter");
  Message m;
  ASSERT_EQ(ended.Wait(m, 5s), kNoErr);
  EXPECT_EQ(m.p1, task->id());
  EXPECT_EQ(static_cast<Status>(m.p2), -43);
}

TEST(CriticalRegionTest, ReentersOnOwnThreadAndExcludesOthers) {
  CriticalRegion region;
  RegionGuard outer(region);
  {
    RegionGuard inner(region);  // recursive: no deadlock
  }
  std::atomic<bool> other_got_in{true};
  std::thread other([&] { other_got_in = region.TryEnter(); });
  other.join();
  EXPECT_FALSE(other_got_in.load());
}

TEST(ClockTest, DurationsFollowThePlatformConvention) {
  struct Case {
    std::int32_t duration;
    Nanoseconds expected;
  };
  const Case cases[] = {{0, 0ns}, {200, 200ms}, {-500, 500us}, {1, 1ms}, {-1, 1us}};
  for (const auto& c : cases) EXPECT_EQ(DurationToNanoseconds(c.duration), c.expected) << c.duration;
}

TEST(ClockTest, DelayUntilWaitsForFakeTime) {
  ScopedFakeClock clock;
  const Nanoseconds target = UpTime() + 200ms;
  std::atomic<bool> done{false};
  std::thread sleeper([&] {
    DelayUntil(target);
    done = true;
  });
  std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(done.load());
  clock.Advance(200ms);
  sleeper.join();
  EXPECT_TRUE(done.load());
}

TEST(ClockTest, SystemUpTimeIsMonotonicAndDelayReal) {
  const Nanoseconds a = UpTime();
  DelayFor(5ms);
  EXPECT_GE(UpTime() - a, 5ms);
}

}  // namespace
}  // namespace runtime
