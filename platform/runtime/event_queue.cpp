#include "platform/runtime/event_queue.h"

#include "platform/runtime/event_target.h"

namespace runtime {

// Pushes a frame for the life of one event loop; a quit asked for before the loop
// started is handed to it.
class EventLoopFrame {
 public:
  EventLoopFrame(EventQueue& queue, EventQueue::FrameKind kind) : queue_(queue) {
    std::lock_guard lock(queue_.mutex_);
    EventQueue::Frame frame{kind};
    if (queue_.pending_quit_) {
      frame.quit = true;
      queue_.pending_quit_ = false;
    }
    if (kind == EventQueue::FrameKind::kApplication && queue_.pending_application_quit_) {
      frame.quit = true;
      queue_.pending_application_quit_ = false;
    }
    queue_.frames_.push_back(frame);
  }
  ~EventLoopFrame() {
    std::lock_guard lock(queue_.mutex_);
    queue_.frames_.pop_back();
  }
  EventLoopFrame(const EventLoopFrame&) = delete;
  EventLoopFrame& operator=(const EventLoopFrame&) = delete;

 private:
  EventQueue& queue_;
};

std::shared_ptr<EventQueue> EventQueue::Main() {
  return RunLoop::Main()->Events();
}

std::shared_ptr<EventQueue> EventQueue::Current() {
  return RunLoop::Current()->Events();
}

EventQueue::EventQueue(const std::shared_ptr<RunLoop>& loop) : loop_(loop), is_main_(loop->IsMain()) {}

std::shared_ptr<EventQueue> EventQueue::CreateFor(const std::shared_ptr<RunLoop>& loop) {
  auto queue = std::make_shared<EventQueue>(loop);
  std::weak_ptr<EventQueue> weak = queue;
  // Ordered before ordinary sources: events posted before a signal are seen first.
  queue->source_ = Source::Create(
      [weak] {
        if (auto q = weak.lock()) q->DispatchPending();
      },
      -1000);
  loop->AddSource(queue->source_);
  return queue;
}

Status EventQueue::Post(EventRef event, EventPriority priority) {
  if (!event) return kParamErr;
  auto loop = loop_.lock();
  if (!loop || loop->HasThreadEnded()) return kParamErr;
  {
    std::lock_guard lock(mutex_);
    queued_[static_cast<int>(priority)].push_back(std::move(event));
  }
  source_->Signal();
  return kNoErr;
}

std::size_t EventQueue::Count() const {
  std::lock_guard lock(mutex_);
  return queued_[0].size() + queued_[1].size() + queued_[2].size();
}

void EventQueue::Flush() {
  std::lock_guard lock(mutex_);
  for (auto& q : queued_) q.clear();
}

EventRef EventQueue::Pop() {
  std::lock_guard lock(mutex_);
  for (int p = 2; p >= 0; --p) {
    if (!queued_[p].empty()) {
      EventRef e = std::move(queued_[p].front());
      queued_[p].pop_front();
      return e;
    }
  }
  return nullptr;
}

bool EventQueue::TakeQuit() {
  std::lock_guard lock(mutex_);
  if (!frames_.empty()) return std::exchange(frames_.back().quit, false);
  return std::exchange(pending_quit_, false);
}

void EventQueue::DispatchPending() {
  if (receivers_ > 0) return;  // an event loop is taking the events itself
  // Only what is queued now: events posted by the handlers wait for the next pass, so
  // a handler that posts to its own thread cannot starve timers and descriptors.
  std::size_t budget = Count();
  while (budget-- > 0 && receivers_ == 0) {
    EventRef e = Pop();
    if (!e) break;
    DispatchEvent(*e, is_main_);
  }
  if (Count() > 0) source_->Signal();
}

Status DispatchEvent(Event& event, bool application_fallback) {
  if (auto target = event.GetPostTarget()) return target->Send(event);
  if (application_fallback) return EventTarget::Application()->Send(event);
  return kEventNotHandledErr;
}

Status ReceiveNextEvent(Nanoseconds timeout, EventRef& out) {
  auto loop = RunLoop::Current();
  auto queue = loop->Events();
  const Nanoseconds deadline = timeout == kForever ? kForever : DeadlineAfter(timeout);
  ++queue->receivers_;
  Status status;
  for (;;) {
    if (queue->TakeQuit()) {
      status = kEventLoopQuitErr;
      break;
    }
    if ((out = queue->Pop())) {
      status = kNoErr;
      break;
    }
    const Nanoseconds now = UpTime();
    if (now >= deadline) {
      status = kEventLoopTimedOutErr;
      break;
    }
    // Returns at each handled source, the queue's own included (a post or a quit).
    loop->RunFor(deadline == kForever ? kForever : deadline - now, true);
  }
  --queue->receivers_;
  // Events left behind go to the run loop's own dispatching once no event loop takes them.
  if (queue->receivers_ == 0 && queue->Count() > 0) queue->source_->Signal();
  return status;
}

void RunApplicationEventLoop() {
  auto queue = EventQueue::Current();
  EventLoopFrame frame(*queue, EventQueue::FrameKind::kApplication);
  for (;;) {
    EventRef event;
    const Status status = ReceiveNextEvent(kForever, event);
    if (status == kEventLoopQuitErr) return;
    if (status == kNoErr) DispatchEvent(*event, true);
  }
}

void QuitApplicationEventLoop() {
  auto queue = EventQueue::Main();
  {
    std::lock_guard lock(queue->mutex_);
    bool found = false;
    for (auto it = queue->frames_.rbegin(); it != queue->frames_.rend() && !found; ++it) {
      if (it->kind == EventQueue::FrameKind::kApplication) {
        it->quit = true;
        found = true;
      }
    }
    if (!found) queue->pending_application_quit_ = true;
  }
  queue->source_->Signal();
}

Status RunNestedEventLoop() {
  auto queue = EventQueue::Current();
  EventLoopFrame frame(*queue, EventQueue::FrameKind::kNested);
  for (;;) {
    EventRef event;
    const Status status = ReceiveNextEvent(kForever, event);
    if (status == kEventLoopQuitErr) return status;
    if (status == kNoErr) DispatchEvent(*event, false);
  }
}

Status RunCurrentEventLoop(Nanoseconds timeout) {
  auto queue = EventQueue::Current();
  EventLoopFrame frame(*queue, EventQueue::FrameKind::kNested);
  const Nanoseconds deadline = timeout == kForever ? kForever : DeadlineAfter(timeout);
  for (;;) {
    EventRef event;
    const Nanoseconds now = UpTime();
    const Status status =
        ReceiveNextEvent(deadline == kForever ? kForever : std::max(deadline - now, Nanoseconds(0)), event);
    if (status == kEventLoopQuitErr || status == kEventLoopTimedOutErr) return status;
    if (status == kNoErr) DispatchEvent(*event, queue->IsMain());
  }
}

void QuitEventLoop(EventQueue& queue) {
  {
    std::lock_guard lock(queue.mutex_);
    if (!queue.frames_.empty()) {
      queue.frames_.back().quit = true;
    } else {
      queue.pending_quit_ = true;
    }
  }
  queue.source_->Signal();
}

void QuitCurrentEventLoop() {
  QuitEventLoop(*EventQueue::Current());
}

}  // namespace runtime
