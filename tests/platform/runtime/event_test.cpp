// Events, targets and handler chains, event queues and event loops, asking the main thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/main_thread.h"
#include "platform/runtime/run_loop.h"

namespace runtime {
namespace {

using namespace std::chrono_literals;
using values::FourCC;

constexpr FourCharCode kDownloadClass = FourCC("TRDc");
constexpr FourCharCode kControlClass = FourCC("TRCo");

TEST(EventTest, ParametersKeepTheirExactType) {
  Event e(kDownloadClass, 0);
  e.SetUInt32(FourCC("UID_"), 0xFFFFFFF0u);
  e.SetInt64(FourCC("Tot_"), std::int64_t{5} << 40);
  e.SetFloat(FourCC("C___"), 12.5f);
  e.SetString(FourCC("Mess"), "line");
  e.SetValue(FourCC("Rang"), values::Value(values::Array{values::Value(1), values::Value(2)}));
  e.SetFileRef(FourCC("File"), "/tmp/a b");
  e.SetData(FourCC("ErrC"), {0, 0, 0, 1});
  e.SetBool(FourCC("Veri"), true);

  EXPECT_EQ(e.Get<std::uint32_t>(FourCC("UID_")), 0xFFFFFFF0u);
  EXPECT_FALSE(e.Get<std::int32_t>(FourCC("UID_"))) << "no silent change of type";
  std::int32_t wrong;
  EXPECT_EQ(e.GetParameter(FourCC("UID_"), wrong), kWrongParameterTypeErr);
  EXPECT_EQ(e.GetParameter(FourCC("Nope"), wrong), kEventParameterNotFoundErr);
  EXPECT_EQ(e.GetInteger(FourCC("UID_")), 0xFFFFFFF0);
  EXPECT_EQ(e.GetInteger(FourCC("Tot_")), std::int64_t{5} << 40);
  EXPECT_EQ(e.GetReal(FourCC("C___")), 12.5);
  EXPECT_FALSE(e.GetInteger(FourCC("Mess")));
  EXPECT_EQ(*e.Find<std::string>(FourCC("Mess")), "line");
  EXPECT_EQ(e.Find<values::Value>(FourCC("Rang"))->Count(), 2u);
  EXPECT_EQ(e.Get<FileRef>(FourCC("File"))->path, "/tmp/a b");
  EXPECT_EQ(e.Find<values::Data>(FourCC("ErrC"))->bytes.size(), 4u);
  EXPECT_EQ(e.Get<bool>(FourCC("Veri")), true);

  e.SetUInt32(FourCC("UID_"), 7);  // replaces
  EXPECT_EQ(e.ParameterCodes().size(), 8u);
  EXPECT_TRUE(e.Remove(FourCC("UID_")));
  EXPECT_FALSE(e.Has(FourCC("UID_")));
}

TEST(EventTest, ObjectHandlesComeBackOnlyAsTheirType) {
  struct Controller {
    int n = 3;
  };
  Event e(kControlClass, 1);
  auto queue = std::make_shared<Controller>();
  e.SetObject(FourCC("Qu$$"), queue);
  EXPECT_EQ(e.GetObject<Controller>(FourCC("Qu$$")), queue);
  EXPECT_EQ(e.GetObject<EventTarget>(FourCC("Qu$$")), nullptr);
}

TEST(EventTargetTest, NotHandledFallsThroughHandlersThenToParent) {
  auto app = EventTarget::Create(EventTarget::Kind::kApplication);
  auto window = EventTarget::Create(EventTarget::Kind::kWindow, app);
  std::string trace;
  const EventTypeSpec desc{kDownloadClass, 3};
  app->InstallHandler({desc}, [&](HandlerCall&, Event&) {
    trace += "app;";
    return kNoErr;
  });
  window->InstallHandler({desc}, [&](HandlerCall&, Event&) {
    trace += "first;";
    return kEventNotHandledErr;
  });
  auto newest = window->InstallHandler({desc, {kDownloadClass, 4}}, [&](HandlerCall&, Event&) {
    trace += "newest;";
    return kEventNotHandledErr;
  });
  window->InstallHandler({{kDownloadClass, 9}}, [&](HandlerCall&, Event&) {
    trace += "other kind;";
    return kNoErr;
  });

  Event e(kDownloadClass, 3);
  EXPECT_EQ(SendEventToEventTarget(e, *window), kNoErr);
  EXPECT_EQ(trace, "newest;first;app;");

  trace.clear();
  Event unhandled(kDownloadClass, 4);
  EXPECT_EQ(window->Send(unhandled), kEventNotHandledErr);
  EXPECT_EQ(trace, "newest;");

  trace.clear();
  newest->Remove();
  EXPECT_EQ(window->Send(e), kNoErr);
  EXPECT_EQ(trace, "first;app;");
}

TEST(EventTargetTest, HandlerCanRunTheRestOfTheChainFirst) {
  auto object = EventTarget::Create(EventTarget::Kind::kObject);
  std::string trace;
  const EventTypeSpec desc{FourCC("hiob"), 2};
  object->InstallHandler({desc}, [&](HandlerCall&, Event&) {
    trace += "base;";
    return kNoErr;
  });
  object->InstallHandler({desc}, [&](HandlerCall& call, Event& e) {
    const Status base = CallNextEventHandler(call, e);
    trace += "subclass;";
    return base == kNoErr ? kParamErr : base;
  });
  Event e(FourCC("hiob"), 2);
  EXPECT_EQ(object->Send(e), kParamErr);
  EXPECT_EQ(trace, "base;subclass;");
}

// A worker with its own queue, running a nested event loop like a download task.
struct Worker {
  std::shared_ptr<EventQueue> queue;
  std::thread thread;
  std::promise<std::shared_ptr<EventQueue>> ready;

  template <class F>
  void Start(F body) {
    auto fut = ready.get_future();
    thread = std::thread([this, body] {
      ready.set_value(EventQueue::Current());
      body();
    });
    queue = fut.get();
  }
  void Join() { thread.join(); }
};

TEST(EventQueueTest, CrossThreadPostsArriveByPriorityThenOrder) {
  std::promise<void> go;
  auto go_future = go.get_future().share();
  std::vector<std::string> seen;
  Worker worker;
  worker.Start([&] {
    go_future.wait();  // everything is queued before the first receive
    for (int i = 0; i < 4; ++i) {
      EventRef e;
      ASSERT_EQ(ReceiveNextEvent(5s, e), kNoErr);
      seen.push_back(*e->Find<std::string>(FourCC("Mess")));
    }
    EventRef none;
    EXPECT_EQ(ReceiveNextEvent(10ms, none), kEventLoopTimedOutErr);
  });
  auto post = [&](const char* text, EventPriority priority) {
    auto e = Event::Create(kDownloadClass, 3);
    e->SetString(FourCC("Mess"), text);
    EXPECT_EQ(worker.queue->Post(e, priority), kNoErr);
  };
  post("low", EventPriority::kLow);
  post("standard 1", EventPriority::kStandard);
  post("high", EventPriority::kHigh);
  post("standard 2", EventPriority::kStandard);
  go.set_value();
  worker.Join();
  EXPECT_EQ(seen, (std::vector<std::string>{"high", "standard 1", "standard 2", "low"}));
}

TEST(EventQueueTest, NestedLoopDispatchesToPostTargetUntilQuit) {
  auto controller = EventTarget::Create(EventTarget::Kind::kObject);
  std::atomic<int> answers{0};
  controller->InstallHandler({{kControlClass, 2}}, [&](HandlerCall&, Event& e) {
    EXPECT_EQ(*e.Find<std::string>(FourCC("Usee")), "anna");
    ++answers;
    QuitCurrentEventLoop();  // like the stop source: ends the task's loop
    return kNoErr;
  });
  Status loop_result = 0;
  Worker worker;
  worker.Start([&] { loop_result = RunNestedEventLoop(); });

  auto untargeted = Event::Create(kControlClass, 2);  // dropped: no 'ptrg'
  worker.queue->Post(untargeted, EventPriority::kHigh);
  auto answer = Event::Create(kControlClass, 2);
  answer->SetString(FourCC("Usee"), "anna");
  answer->SetPostTarget(controller);
  worker.queue->Post(answer);
  worker.Join();
  EXPECT_EQ(loop_result, kEventLoopQuitErr);
  EXPECT_EQ(answers.load(), 1);
}

TEST(EventQueueTest, InnerQuitReturnsToOuterLoop) {
  std::vector<std::string> trace;
  Worker worker;
  auto target = EventTarget::Create(EventTarget::Kind::kObject);
  target->InstallHandler({{kControlClass, 1}}, [&](HandlerCall&, Event&) {
    trace.push_back("inner start");
    trace.push_back(RunNestedEventLoop() == kEventLoopQuitErr ? "inner quit" : "inner ?");
    return kNoErr;
  });
  target->InstallHandler({{kControlClass, 2}}, [&](HandlerCall&, Event&) {
    trace.push_back("quit");
    QuitCurrentEventLoop();
    return kNoErr;
  });
  worker.Start(
      [&] { trace.push_back(RunNestedEventLoop() == kEventLoopQuitErr ? "outer quit" : "outer ?"); });
  auto post = [&](std::uint32_t kind) {
    auto e = Event::Create(kControlClass, kind);
    e->SetPostTarget(target);
    worker.queue->Post(e);
  };
  post(1);  // starts the inner loop
  post(2);  // quits the inner one only
  post(2);  // then the outer one
  worker.Join();
  EXPECT_EQ(trace, (std::vector<std::string>{"inner start", "quit", "inner quit", "quit", "outer quit"}));
}

TEST(EventQueueTest, QuitBeforeTheLoopStartsIsNotLost) {
  Worker worker;
  std::promise<void> quit_sent;
  auto quit_sent_future = quit_sent.get_future();
  Status result = 0;
  worker.Start([&] {
    quit_sent_future.wait();
    result = RunNestedEventLoop();
  });
  QuitEventLoop(*worker.queue);
  quit_sent.set_value();
  worker.Join();
  EXPECT_EQ(result, kEventLoopQuitErr);
}

TEST(EventQueueTest, RunLoopDispatchesEventsWhenNoEventLoopTakesThem) {
  // A thread that only runs its run loop (as the main thread does under Qt) still has
  // its targeted events handled.
  auto target = EventTarget::Create(EventTarget::Kind::kObject);
  std::atomic<int> handled{0};
  target->InstallHandler({{kDownloadClass, 0}}, [&](HandlerCall&, Event&) {
    ++handled;
    RunLoop::Current()->Stop();
    return kNoErr;
  });
  Worker worker;
  worker.Start([&] { EXPECT_EQ(RunLoop::Current()->RunFor(5s), RunResult::kStopped); });
  auto e = Event::Create(kDownloadClass, 0);
  e->SetPostTarget(target);
  worker.queue->Post(e, EventPriority::kLow);
  worker.Join();
  EXPECT_EQ(handled.load(), 1);
}

TEST(EventQueueTest, PostToEndedThreadFails) {
  std::shared_ptr<EventQueue> queue;
  std::shared_ptr<RunLoop> loop;  // kept alive past its thread: still nobody to serve it
  std::thread([&] {
    queue = EventQueue::Current();
    loop = RunLoop::Current();
  }).join();
  EXPECT_EQ(queue->Post(Event::Create(kDownloadClass, 0)), kParamErr);
  loop.reset();
  EXPECT_EQ(queue->Post(Event::Create(kDownloadClass, 0)), kParamErr);
}

// The main-thread tests run on the test runner's thread, which is the process's main thread.
TEST(MainThreadTest, ApplicationLoopDispatchesToApplicationTargetUntilQuit) {
  ASSERT_TRUE(IsMainThread());
  std::vector<std::uint32_t> kinds;
  auto handler = EventTarget::Application()->InstallHandler({{FourCC("Truv"), 1025}, {FourCC("Truv"), 1}},
                                                            [&](HandlerCall&, Event& e) {
                                                              kinds.push_back(e.kind());
                                                              if (e.kind() == 1) QuitApplicationEventLoop();
                                                              return kNoErr;
                                                            });
  std::thread poster([] {
    EventQueue::Main()->Post(Event::Create(FourCC("Truv"), 1025));
    EventQueue::Main()->Post(Event::Create(FourCC("Truv"), 1));
  });
  RunApplicationEventLoop();
  poster.join();
  handler->Remove();
  EXPECT_EQ(kinds, (std::vector<std::uint32_t>{1025, 1}));
}

TEST(MainThreadTest, ApplicationQuitWaitsForNestedLoopInside) {
  std::vector<std::string> trace;
  auto target = EventTarget::Create(EventTarget::Kind::kObject);
  target->InstallHandler({{kControlClass, 1}}, [&](HandlerCall&, Event&) {
    QuitApplicationEventLoop();  // asked while a nested loop is about to run inside
    trace.push_back("nested");
    RunNestedEventLoop();
    trace.push_back("nested done");
    return kNoErr;
  });
  target->InstallHandler({{kControlClass, 2}}, [&](HandlerCall&, Event&) {
    trace.push_back("quit nested");
    QuitCurrentEventLoop();
    return kNoErr;
  });
  for (std::uint32_t kind : {1u, 2u}) {
    auto e = Event::Create(kControlClass, kind);
    e->SetPostTarget(target);
    EventQueue::Main()->Post(e);
  }
  RunApplicationEventLoop();
  EXPECT_EQ(trace, (std::vector<std::string>{"nested", "quit nested", "nested done"}));
}

TEST(MainThreadTest, RunCurrentEventLoopTimesOut) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunCurrentEventLoop(20ms), kEventLoopTimedOutErr);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
}

TEST(MainThreadTest, WorkerGetsAnswerFromMainThread) {
  std::thread::id answered_on;
  std::future<int> answer = std::async(std::launch::async, [&] {
    return PerformOnMainThreadAndWait([&] {
      answered_on = std::this_thread::get_id();
      return 42;
    });
  });
  // The main thread serves it from whatever loop it runs.
  while (answer.wait_for(0s) != std::future_status::ready) RunCurrentEventLoop(10ms);
  EXPECT_EQ(answer.get(), 42);
  EXPECT_EQ(answered_on, std::this_thread::get_id());
  EXPECT_EQ(PerformOnMainThreadAndWait([] { return 7; }), 7) << "on the main thread it runs at once";
}

}  // namespace
}  // namespace runtime
