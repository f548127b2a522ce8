#include "app/util/helpers/task_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/event_target.h"
#include "platform/runtime/main_thread.h"
#include "platform/runtime/run_loop.h"

namespace {

using namespace std::chrono_literals;

TEST(LogMessageEvent, IsQueuedOnTheMainQueueForTheApplication) {
  ASSERT_TRUE(runtime::IsMainThread());
  auto main = runtime::EventQueue::Main();
  main->Flush();
  ASSERT_EQ(util::PostLogMessageEvent("Connected to 127.0.0.1"), runtime::kNoErr);
  ASSERT_EQ(main->Count(), 1u);
  runtime::EventRef event;
  ASSERT_EQ(runtime::ReceiveNextEvent(0ns, event), runtime::kNoErr);
  ASSERT_TRUE(event);
  EXPECT_TRUE(event->Is(values::FourCC("Truv"), 1025));
  ASSERT_NE(util::LogMessageOfEvent(*event), nullptr);
  EXPECT_EQ(*util::LogMessageOfEvent(*event), "Connected to 127.0.0.1");
  EXPECT_EQ(*event->Find<std::string>(values::FourCC("----")), "Connected to 127.0.0.1");
  EXPECT_EQ(event->GetPostTarget(), runtime::EventTarget::Application());

  auto other = runtime::Event::Create(values::FourCC("Truv"), 1024);
  other->SetString(runtime::kParamDirectObject, "not a log line");
  EXPECT_EQ(util::LogMessageOfEvent(*other), nullptr);
}

TEST(LogMessageEvent, LinesFromWorkersReachTheApplicationHandlerInOrder) {
  runtime::EventQueue::Main()->Flush();
  std::vector<std::string> lines;
  auto handler = runtime::EventTarget::Application()->InstallHandler(
      {{util::kEventClassApplication, util::kEventAppLogMessage}},
      [&](runtime::HandlerCall&, runtime::Event& e) {
        lines.push_back(*util::LogMessageOfEvent(e));
        if (lines.size() == 3) runtime::QuitApplicationEventLoop();
        return runtime::kNoErr;
      });
  bool timed_out = false;
  auto guard = runtime::Timer::Create(5s, 0ns, [&](runtime::Timer&) {
    timed_out = true;
    runtime::QuitApplicationEventLoop();
  });
  runtime::RunLoop::Main()->AddTimer(guard);
  std::thread worker([] {
    for (const char* line : {"RETR a.zip", "150 Opening", "226 Done"}) util::PostLogMessageEvent(line);
  });
  runtime::RunApplicationEventLoop();
  worker.join();
  guard->Invalidate();
  handler->Remove();
  EXPECT_FALSE(timed_out);
  EXPECT_EQ(lines, (std::vector<std::string>{"RETR a.zip", "150 Opening", "226 Done"}));
}

TEST(NestedEventLoop, ServesTargetedEventsUntilATimerQuitsIt) {
  auto controller = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
  std::vector<std::string> seen;  // worker thread only until joined
  controller->InstallHandler({{util::kEventClassApplication, 7}},
                             [&](runtime::HandlerCall&, runtime::Event& e) {
                               seen.push_back(*e.Find<std::string>(runtime::kParamDirectObject));
                               return runtime::kNoErr;
                             });
  std::promise<std::shared_ptr<runtime::EventQueue>> queue_promise;
  std::promise<runtime::Status> result_promise;
  std::thread worker([&] {
    queue_promise.set_value(runtime::EventQueue::Current());
    // The timer is far enough out that the events posted below are queued before it.
    auto quit = runtime::Timer::Create(50ms, 0ns, [](runtime::Timer&) { util::QuitCurrentEventLoop(); });
    runtime::RunLoop::Current()->AddTimer(quit);
    result_promise.set_value(util::RunNestedEventLoop());
  });
  auto queue = queue_promise.get_future().get();
  auto targeted = runtime::Event::Create(util::kEventClassApplication, 7);
  targeted->SetString(runtime::kParamDirectObject, "targeted");
  targeted->SetPostTarget(controller);
  auto untargeted = runtime::Event::Create(util::kEventClassApplication, 7);  // dropped: no 'ptrg'
  untargeted->SetString(runtime::kParamDirectObject, "untargeted");
  queue->Post(untargeted);
  queue->Post(targeted);
  auto result = result_promise.get_future();
  if (result.wait_for(5s) != std::future_status::ready) {
    runtime::QuitEventLoop(*queue);
    worker.join();
    FAIL() << "the timer's quit did not end the nested loop";
  }
  worker.join();
  EXPECT_EQ(result.get(), runtime::kEventLoopQuitErr);
  EXPECT_EQ(seen, (std::vector<std::string>{"targeted"}));
}

TEST(DelayCurrentTask, PositiveIsMillisecondsNegativeIsMicroseconds) {
  struct Case {
    std::int32_t duration;
    std::chrono::microseconds at_least;
  };
  // A misread sign gives 3 s for -3000 (over the bound) or nothing (under it).
  const Case cases[] = {{0, 0us}, {15, 15ms}, {-3000, 3ms}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.duration);
    const auto start = std::chrono::steady_clock::now();
    util::DelayCurrentTask(c.duration);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, c.at_least);
    EXPECT_LT(took, c.at_least + 500ms);
  }
}

}  // namespace
