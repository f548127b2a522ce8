// The run loop: timers, sources, watches, observers, running and driving from outside.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/clock.h"
#include "platform/runtime/run_loop.h"

namespace runtime {
namespace {

using namespace std::chrono_literals;

// Each test runs on a thread of its own, so it has a fresh run loop.
template <class F>
void OnFreshThread(F f) {
  std::thread t(f);
  t.join();
}

TEST(RunLoopTimerTest, DueTimersFireInDateOrderAndCancelledOnesNever) {
  ScopedFakeClock clock;
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    std::string fired;
    auto c = Timer::Create(300ms, 0ns, [&](Timer&) { fired += "c"; });
    auto a = Timer::Create(100ms, 0ns, [&](Timer&) { fired += "a"; });
    auto b = Timer::Create(200ms, 0ns, [&](Timer&) { fired += "b"; });
    auto cancelled = Timer::Create(150ms, 0ns, [&](Timer&) { fired += "X"; });
    for (auto& t : {c, a, b, cancelled}) loop->AddTimer(t);
    cancelled->Invalidate();

    loop->PerformPass();
    EXPECT_EQ(fired, "");
    clock.Advance(250ms);
    loop->PerformPass();
    EXPECT_EQ(fired, "ab");
    loop->RemoveTimer(c);
    clock.Advance(1s);
    loop->PerformPass();
    EXPECT_EQ(fired, "ab");
  });
}

TEST(RunLoopTimerTest, SetNextFireDateMovesAndRearms) {
  ScopedFakeClock clock;
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fired = 0;
    auto timer = Timer::Create(1s, 0ns, [&](Timer&) { ++fired; });
    loop->AddTimer(timer);
    timer->SetNextFireIn(3s);  // a second completion moves the timer instead of adding one
    clock.Advance(2s);
    loop->PerformPass();
    EXPECT_EQ(fired, 0);
    clock.Advance(1s);
    loop->PerformPass();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(timer->NextFireDate(), kForever) << "a fired one-shot timer waits unarmed";
    timer->SetNextFireIn(500ms);
    clock.Advance(500ms);
    loop->PerformPass();
    EXPECT_EQ(fired, 2);
  });
}

TEST(RunLoopTimerTest, RepeatingTimerSkipsMissedPeriodsAndMayRescheduleItself) {
  ScopedFakeClock clock;
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    std::vector<Nanoseconds> fire_times;
    auto timer = Timer::Create(300ms, 800ms, [&](Timer&) { fire_times.push_back(UpTime()); });
    loop->AddTimer(timer);
    const Nanoseconds start = UpTime();
    clock.Advance(300ms);
    loop->PerformPass();
    clock.Advance(800ms);
    loop->PerformPass();
    clock.Advance(2000ms);  // 2.5 periods late: one firing, then back on the grid
    loop->PerformPass();
    loop->PerformPass();
    ASSERT_EQ(fire_times.size(), 3u);
    EXPECT_EQ(timer->NextFireDate() - start, 300ms + 4 * 800ms);

    bool rescheduled = false;
    auto self_moving = Timer::Create(100ms, 1s, [&](Timer& t) {
      t.SetNextFireIn(5s);
      rescheduled = true;
    });
    loop->AddTimer(self_moving);
    clock.Advance(100ms);
    loop->PerformPass();
    EXPECT_TRUE(rescheduled);
    EXPECT_EQ(self_moving->NextFireDate(), UpTime() + 5s);
  });
}

TEST(RunLoopTimerTest, RealTimerEndsRunForWithinBound) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fired = 0;
    auto timer = Timer::Create(20ms, 0ns, [&](Timer&) {
      ++fired;
      RunLoop::Current()->Stop();
    });
    loop->AddTimer(timer);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(loop->RunFor(5s), RunResult::kStopped);
    EXPECT_EQ(fired, 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  });
}

TEST(RunLoopSourceTest, SignalsFromOtherThreadsCoalesceAndPerformOnOwner) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    std::atomic<int> performed{0};
    std::thread::id performed_on;
    auto source = Source::Create([&] {
      ++performed;
      performed_on = std::this_thread::get_id();
    });
    loop->AddSource(source);
    std::thread signaller([&] {
      for (int i = 0; i < 5; ++i) source->Signal();
    });
    signaller.join();
    EXPECT_EQ(loop->RunFor(5s, true), RunResult::kHandledSource);
    EXPECT_EQ(performed.load(), 1);
    EXPECT_EQ(performed_on, std::this_thread::get_id());
    source->Invalidate();
    source->Signal();
    EXPECT_EQ(loop->RunFor(0ns), RunResult::kFinished);
    EXPECT_EQ(performed.load(), 1);
  });
}

TEST(RunLoopSourceTest, StopFromAnotherThreadEndsRun) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    auto keep_alive = Source::Create([] {});
    loop->AddSource(keep_alive);
    std::thread stopper([loop] {
      std::this_thread::sleep_for(10ms);
      loop->Stop();
    });
    EXPECT_EQ(loop->Run(), RunResult::kStopped);
    stopper.join();
  });
}

TEST(RunLoopSourceTest, RunForReportsWhy) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    EXPECT_EQ(loop->RunFor(1s), RunResult::kFinished) << "nothing on the loop";
    auto source = Source::Create([] {});
    loop->AddSource(source);
    EXPECT_EQ(loop->RunFor(10ms), RunResult::kTimedOut);
    loop->Stop();  // asked before the run: the next run ends at once
    EXPECT_EQ(loop->RunFor(5s), RunResult::kStopped);
    loop->Perform([] {});
    EXPECT_EQ(loop->RunFor(5s, true), RunResult::kHandledSource);
  });
}

TEST(RunLoopObserverTest, BeforeSourcesObserverRunsEachPassBeforeSources) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    std::string trace;
    auto source = Source::Create([&] { trace += "S"; });
    loop->AddSource(source);
    auto late = loop->AddObserver(
        kActivityBeforeSources, [&](RunLoopActivity) { trace += "2"; }, true, 5);
    auto early = loop->AddObserver(
        kActivityBeforeSources, [&](RunLoopActivity) { trace += "1"; }, true, 0);
    auto once = loop->AddObserver(
        kActivityBeforeTimers, [&](RunLoopActivity) { trace += "T"; }, false);
    source->Signal();
    loop->PerformPass();
    source->Signal();
    loop->PerformPass();
    EXPECT_EQ(trace, "T12S12S");
    early->Cancel();
    loop->PerformPass();
    EXPECT_EQ(trace, "T12S12S2");
  });
}

TEST(RunLoopWatchTest, ReadableAndWritableCallbacksOnTheLoop) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string received;
    auto reader = loop->AddWatch(fds[0], kReadable, [&](unsigned ready) {
      EXPECT_TRUE(ready & kReadable);
      char buf[16];
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n > 0) received.append(buf, n);
      if (n == 0) received += "<eof>";
    });
    ASSERT_TRUE(reader);
    EXPECT_FALSE(loop->AddWatch(fds[0], kReadable, [](unsigned) {})) << "one watch per descriptor";
    int writable_calls = 0;
    auto writer = loop->AddWatch(fds[1], kWritable, [&](unsigned ready) {
      EXPECT_TRUE(ready & kWritable);
      ++writable_calls;
      ASSERT_EQ(write(fds[1], "hi", 2), 2);
    });
    ASSERT_TRUE(writer);
    EXPECT_EQ(loop->RunFor(5s, true), RunResult::kHandledSource);
    writer->Cancel();
    close(fds[1]);
    for (int i = 0; i < 3 && received.find("<eof>") == std::string::npos; ++i) loop->RunFor(1s, true);
    EXPECT_EQ(writable_calls, 1);
    EXPECT_EQ(received, "hi<eof>");
    reader->Cancel();
    close(fds[0]);
  });
}

// A watch that only asks for hang-ups is not called for input, but is when the peer
// A loop that is handed a closure on every pass still hears its descriptors: a task that
// posts to itself (a throttled writer) must not go deaf to its socket.
TEST(RunLoopWatchTest, AClosureEveryPassNeverStarvesTheDescriptors) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    bool heard = false;
    auto reader = loop->AddWatch(fds[0], kReadable, [&](unsigned) {
      char c;
      if (read(fds[0], &c, 1) == 1) heard = true;
    });
    ASSERT_TRUE(reader);
    std::function<void()> again = [&] { loop->Perform(again); };
    loop->Perform(again);
    for (int pass = 0; pass < 100 && !heard; ++pass) {
      EXPECT_EQ(loop->RunFor(1s, true), RunResult::kHandledSource);
    }
    EXPECT_TRUE(heard);
    again = [] {};
    loop->RunFor(0s, false);
    reader->Cancel();
    close(fds[0]);
    close(fds[1]);
  });
}

// goes (a reader that holds back still learns that its sender left).
TEST(RunLoopWatchTest, AHangupOnlyWatchIgnoresInputAndHearsThePeerLeave) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    std::vector<unsigned> calls;
    auto watch = loop->AddWatch(fds[0], kHangup, [&](unsigned ready) {
      calls.push_back(ready);
      loop->Stop();
    });
    ASSERT_TRUE(watch);
    ASSERT_EQ(::write(fds[1], "input", 5), 5);
    loop->RunFor(200ms);
    EXPECT_TRUE(calls.empty()) << "called for input";
    ::close(fds[1]);
    loop->RunFor(5s);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], unsigned{kHangup});
    watch->Cancel();
    ::close(fds[0]);
  });
}

TEST(RunLoopWatchTest, NestedRunDoesNotReenterTheSameWatch) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    int depth = 0;
    int max_depth = 0;
    auto watch = loop->AddWatch(fds[0], kReadable, [&](unsigned) {
      ++depth;
      max_depth = std::max(max_depth, depth);
      // The descriptor stays readable during the nested run; the watch must sit out.
      RunLoop::Current()->RunFor(20ms);
      char c;
      [[maybe_unused]] ssize_t n = read(fds[0], &c, 1);
      --depth;
    });
    loop->RunFor(5s, true);
    EXPECT_EQ(max_depth, 1);
    watch->Cancel();
    close(fds[0]);
    close(fds[1]);
  });
}

TEST(RunLoopOutsideDriverTest, EpollDescriptorSignalsWorkAndOnePassDoesIt) {
  // What Qt's socket notifier does: wait for the loop's descriptor, then one pass.
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    auto wait_readable = [&](int ms) {
      pollfd p{loop->EpollDescriptor(), POLLIN, 0};
      return poll(&p, 1, ms) == 1;
    };
    int performed = 0;
    auto source = Source::Create([&] { ++performed; });
    loop->AddSource(source);
    EXPECT_FALSE(wait_readable(0));

    std::thread([source] { source->Signal(); }).join();
    ASSERT_TRUE(wait_readable(5000));
    EXPECT_EQ(loop->PerformPass(), RunResult::kHandledSource);
    EXPECT_EQ(performed, 1);
    EXPECT_FALSE(wait_readable(0)) << "a pass leaves nothing to report";

    int fired = 0;
    auto timer = Timer::Create(15ms, 0ns, [&](Timer&) { ++fired; });
    loop->AddTimer(timer);
    EXPECT_FALSE(wait_readable(0));
    ASSERT_TRUE(wait_readable(5000)) << "a due timer makes the descriptor readable";
    loop->PerformPass();
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(wait_readable(0));
  });
}

TEST(RunLoopOutsideDriverTest, FakeClockMoveWakesTheDescriptor) {
  ScopedFakeClock clock;
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    int fired = 0;
    auto timer = Timer::Create(1s, 0ns, [&](Timer&) { ++fired; });
    loop->AddTimer(timer);
    loop->PerformPass();
    pollfd p{loop->EpollDescriptor(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    clock.Advance(1s);
    EXPECT_EQ(poll(&p, 1, 5000), 1);
    loop->PerformPass();
    EXPECT_EQ(fired, 1);
  });
}

TEST(RunLoopTest, PerformRunsClosuresFromOtherThreadsInOrder) {
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    std::vector<int> seen;
    std::thread([loop, &seen] {
      for (int i = 0; i < 3; ++i) loop->Perform([i, &seen] { seen.push_back(i); });
    }).join();
    loop->RunFor(5s, true);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
  });
}

// A closure that never ran because its thread ended is released, with what it holds: a
// record kept for a later release that holds the loop itself must not keep both alive.
TEST(RunLoopTest, ClosuresLeftWhenTheThreadEndsAreReleasedAndTheLoopWithThem) {
  std::weak_ptr<RunLoop> weak_loop;
  std::weak_ptr<int> weak_record;
  OnFreshThread([&] {
    auto loop = RunLoop::Current();
    weak_loop = loop;
    auto record = std::make_shared<int>(1);
    weak_record = record;
    loop->Perform([record, loop] {});
  });
  EXPECT_TRUE(weak_record.expired());
  EXPECT_TRUE(weak_loop.expired());

  // One handed over later, to a loop still referenced, is not kept either.
  std::shared_ptr<RunLoop> kept;
  OnFreshThread([&] { kept = RunLoop::Current(); });
  auto late = std::make_shared<int>(2);
  std::weak_ptr<int> weak_late = late;
  kept->Perform([late = std::move(late)] {});
  EXPECT_TRUE(weak_late.expired()) << "a loop whose thread ended keeps nothing";
}

}  // namespace
}  // namespace runtime
