#include "platform/runtime/run_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>

#include "platform/runtime/event_queue.h"

namespace runtime {

namespace {

constexpr std::uint64_t kWakeId = 1;
constexpr std::uint64_t kTimerId = 2;

// Threads are told apart by their kernel id: the main thread's is the process id, so
// the main loop can be made for it from any thread.
int CurrentTid() {
  thread_local const int tid = static_cast<int>(syscall(SYS_gettid));
  return tid;
}

bool OnMainThread() {
  return CurrentTid() == getpid();
}

std::shared_ptr<RunLoop>& MainLoopSlot() {
  static std::shared_ptr<RunLoop> loop;
  return loop;
}

std::once_flag gMainOnce;

}  // namespace

// Marks the loop as orphaned when its thread ends, then lets it go. The closures still
// waiting on it can never run: they are dropped here, since what they hold often holds
// the loop in turn (a connection record kept for a later release holds its socket, the
// socket its loop), and the loop and all of it would otherwise never be freed.
struct internal::CurrentLoopHolder {
  std::shared_ptr<RunLoop> loop;
  ~CurrentLoopHolder() {
    if (!loop || loop->IsMain()) return;
    std::deque<std::function<void()>> unrun;
    {
      std::lock_guard lock(loop->mutex_);
      loop->thread_ended_.store(true);
      unrun.swap(loop->closures_);
    }
    // Outside the lock: releasing what they hold may call back into the loop.
    unrun.clear();
  }
};

namespace {
thread_local internal::CurrentLoopHolder tCurrent;

int TimeoutMs(Nanoseconds deadline) {
  if (deadline == kForever) return -1;
  const Nanoseconds now = UpTime();
  if (deadline <= now) return 0;
  const auto ms =
      (deadline - now + std::chrono::milliseconds(1) - Nanoseconds(1)) / std::chrono::milliseconds(1);
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace

// ---- Timer

Timer::Timer(Nanoseconds fire_date, Nanoseconds interval, Callback callback)
    : fire_ns_(fire_date.count()), interval_(interval), callback_(std::move(callback)) {}

std::shared_ptr<Timer> Timer::Create(Nanoseconds first_delay, Nanoseconds interval, Callback callback) {
  return std::make_shared<Timer>(DeadlineAfter(first_delay), interval, std::move(callback));
}

std::shared_ptr<Timer> Timer::CreateAt(Nanoseconds fire_date, Nanoseconds interval, Callback callback) {
  return std::make_shared<Timer>(fire_date, interval, std::move(callback));
}

std::shared_ptr<RunLoop> Timer::Loop() const {
  std::lock_guard lock(mutex_);
  return loop_.lock();
}

void Timer::SetNextFireDate(Nanoseconds up_time) {
  if (!valid_.load()) return;
  fire_ns_.store(up_time.count());
  if (auto loop = Loop()) {
    {
      std::lock_guard lock(loop->mutex_);
      loop->UpdateTimerFd();
    }
    // The timerfd wakes a waiting loop at the new date; under a fake clock only a wake-up
    // makes another thread's loop look again.
    if (!loop->IsCurrent()) loop->WakeUp();
  }
}

void Timer::SetNextFireIn(Nanoseconds delay) {
  SetNextFireDate(DeadlineAfter(delay));
}

void Timer::Invalidate() {
  valid_.store(false);
  if (auto loop = Loop()) loop->RemoveTimer(shared_from_this());
}

// ---- Source

Source::Source(Perform perform, int order) : perform_(std::move(perform)), order_(order) {}

std::shared_ptr<Source> Source::Create(Perform perform, int order) {
  return std::make_shared<Source>(std::move(perform), order);
}

void Source::Signal() {
  if (!valid_.load()) return;
  signalled_.store(true);
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    loop = loop_.lock();
  }
  if (loop) loop->WakeUp();
}

void Source::Invalidate() {
  valid_.store(false);
  signalled_.store(false);
  std::shared_ptr<RunLoop> loop;
  {
    std::lock_guard lock(mutex_);
    loop = loop_.lock();
  }
  if (loop) loop->RemoveSource(shared_from_this());
}

// ---- DescriptorWatch

DescriptorWatch::DescriptorWatch(int fd, unsigned interest, Callback callback, std::uint64_t id)
    : fd_(fd), interest_(interest), callback_(std::move(callback)), id_(id) {}

void DescriptorWatch::SetInterest(unsigned interest) {
  interest_.store(interest & (kReadable | kWritable | kHangup));
  if (auto loop = loop_.lock()) {
    std::lock_guard lock(loop->mutex_);
    if (active_.load()) loop->ApplyInterestLocked(*this);
  }
}

void DescriptorWatch::Cancel() {
  auto loop = loop_.lock();
  if (!loop) {
    active_.store(false);
    return;
  }
  std::shared_ptr<DescriptorWatch> self;
  {
    std::lock_guard lock(loop->mutex_);
    auto it = loop->watches_.find(id_);
    if (it != loop->watches_.end()) self = it->second;
  }
  if (self) loop->RemoveWatch(self);
  active_.store(false);
}

// ---- Observer

void Observer::Cancel() {
  active_.store(false);
  if (auto loop = loop_.lock()) {
    std::lock_guard lock(loop->mutex_);
    std::erase_if(loop->observers_, [this](auto& o) { return o.get() == this; });
  }
}

// ---- RunLoop

bool RunLoop::IsCurrent() const {
  return CurrentTid() == owner_;
}

RunLoop::RunLoop(int owner, bool is_main) : owner_(owner), is_main_(is_main) {
  epoll_.Reset(epoll_create1(EPOLL_CLOEXEC));
  wake_fd_.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  timer_fd_.Reset(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
  if (!epoll_.valid() || !wake_fd_.valid() || !timer_fd_.valid()) {
    // Without these the thread cannot wait for anything; nothing sensible can go on.
    std::abort();
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kWakeId;
  epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_fd_.get(), &ev);
  ev.data.u64 = kTimerId;
  epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, timer_fd_.get(), &ev);
}

RunLoop::~RunLoop() {
  if (clock_listener_) internal::RemoveClockListener(clock_listener_);
}

std::shared_ptr<RunLoop> RunLoop::Main() {
  std::call_once(gMainOnce, [] {
    auto loop = std::make_shared<RunLoop>(static_cast<int>(getpid()), true);
    std::weak_ptr<RunLoop> weak = loop;
    loop->clock_listener_ = internal::AddClockListener([weak] {
      if (auto l = weak.lock()) l->WakeUp();
    });
    MainLoopSlot() = loop;
  });
  return MainLoopSlot();
}

std::shared_ptr<RunLoop> RunLoop::Current() {
  if (tCurrent.loop) return tCurrent.loop;
  if (OnMainThread()) {
    tCurrent.loop = Main();
    return tCurrent.loop;
  }
  auto loop = std::make_shared<RunLoop>(CurrentTid(), false);
  std::weak_ptr<RunLoop> weak = loop;
  loop->clock_listener_ = internal::AddClockListener([weak] {
    if (auto l = weak.lock()) l->WakeUp();
  });
  tCurrent.loop = loop;
  return loop;
}

void RunLoop::AddTimer(const std::shared_ptr<Timer>& timer) {
  if (!timer || !timer->IsValid()) return;
  {
    std::lock_guard tl(timer->mutex_);
    timer->loop_ = weak_from_this();
  }
  {
    std::lock_guard lock(mutex_);
    if (std::find(timers_.begin(), timers_.end(), timer) == timers_.end()) timers_.push_back(timer);
    UpdateTimerFd();
  }
  if (!IsCurrent()) WakeUp();
}

void RunLoop::RemoveTimer(const std::shared_ptr<Timer>& timer) {
  if (!timer) return;
  std::lock_guard lock(mutex_);
  std::erase(timers_, timer);
  UpdateTimerFd();
}

void RunLoop::AddSource(const std::shared_ptr<Source>& source) {
  if (!source || !source->IsValid()) return;
  {
    std::lock_guard sl(source->mutex_);
    source->loop_ = weak_from_this();
  }
  {
    std::lock_guard lock(mutex_);
    if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
      auto at = std::upper_bound(sources_.begin(), sources_.end(), source,
                                 [](auto& a, auto& b) { return a->order_ < b->order_; });
      sources_.insert(at, source);
    }
  }
  if (source->IsSignalled()) WakeUp();
}

void RunLoop::RemoveSource(const std::shared_ptr<Source>& source) {
  std::lock_guard lock(mutex_);
  std::erase(sources_, source);
}

std::shared_ptr<DescriptorWatch> RunLoop::AddWatch(int fd, unsigned interest,
                                                   DescriptorWatch::Callback callback) {
  if (fd < 0) return nullptr;
  std::lock_guard lock(mutex_);
  for (auto& [id, w] : watches_) {
    if (w->fd_ == fd) return nullptr;
  }
  auto watch = std::make_shared<DescriptorWatch>(fd, interest & (kReadable | kWritable | kHangup),
                                                 std::move(callback), next_watch_id_++);
  watch->loop_ = weak_from_this();
  ApplyInterestLocked(*watch);
  if ((watch->Interest() != 0) && !watch->registered_) return nullptr;  // epoll refused the descriptor
  watches_.emplace(watch->id_, watch);
  return watch;
}

void RunLoop::RemoveWatch(const std::shared_ptr<DescriptorWatch>& watch) {
  if (!watch) return;
  std::lock_guard lock(mutex_);
  watch->active_.store(false);
  if (watch->registered_) {
    epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, watch->fd_, nullptr);
    watch->registered_ = false;
  }
  watches_.erase(watch->id_);
}

void RunLoop::ApplyInterestLocked(DescriptorWatch& watch) {
  const unsigned interest = watch.interest_.load();
  // A paused watch leaves epoll altogether: errors and hang-ups are reported whatever
  // the interest, and would wake the loop over and over.
  if (interest == 0 || watch.suspended_ || !watch.active_.load()) {
    if (watch.registered_) epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, watch.fd_, nullptr);
    watch.registered_ = false;
    return;
  }
  epoll_event ev{};
  ev.events = ((interest & kReadable) ? EPOLLIN | EPOLLRDHUP : 0u) | ((interest & kWritable) ? EPOLLOUT : 0u);
  ev.data.u64 = watch.id_;
  if (watch.registered_) {
    epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, watch.fd_, &ev);
  } else if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, watch.fd_, &ev) == 0) {
    watch.registered_ = true;
  }
}

std::shared_ptr<Observer> RunLoop::AddObserver(unsigned activities, Observer::Callback callback, bool repeats,
                                               int order) {
  auto observer = std::make_shared<Observer>(activities, std::move(callback), repeats, order);
  observer->loop_ = weak_from_this();
  std::lock_guard lock(mutex_);
  auto at = std::upper_bound(observers_.begin(), observers_.end(), observer,
                             [](auto& a, auto& b) { return a->order_ < b->order_; });
  observers_.insert(at, observer);
  return observer;
}

void RunLoop::RemoveObserver(const std::shared_ptr<Observer>& observer) {
  if (observer) observer->Cancel();
}

void RunLoop::Perform(std::function<void()> closure) {
  {
    std::lock_guard lock(mutex_);
    // A loop whose thread has ended runs nothing more; keeping the closure would only keep
    // what it holds alive (it is released below, outside the lock).
    if (!thread_ended_.load()) {
      closures_.push_back(std::move(closure));
      closure = nullptr;
    }
  }
  if (closure) return;
  WakeUp();
}

void RunLoop::WakeUp() {
  if (wake_pending_.exchange(true)) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] ssize_t n = write(wake_fd_.get(), &one, sizeof one);
}

void RunLoop::Stop() {
  stop_requested_.store(true);
  WakeUp();
}

RunResult RunLoop::Run() {
  return RunUntil(kForever, false);
}

RunResult RunLoop::RunFor(Nanoseconds slice, bool return_after_source_handled) {
  return RunUntil(slice == kForever ? kForever : DeadlineAfter(slice), return_after_source_handled);
}

RunResult RunLoop::PerformPass() {
  if (!IsCurrent()) return RunResult::kFinished;
  ++run_depth_;
  // Descriptors first: draining the wake-up and timer descriptors before the sources
  // phase means a signal that comes in later makes the epoll descriptor readable again,
  // so the outside loop calls back.
  bool handled = WaitAndHandle(0);
  handled = DoTimersAndSources() || handled;
  {
    std::lock_guard lock(mutex_);
    UpdateTimerFd();
  }
  --run_depth_;
  return handled ? RunResult::kHandledSource : RunResult::kTimedOut;
}

RunResult RunLoop::RunUntil(Nanoseconds deadline, bool return_after_source_handled) {
  if (!IsCurrent()) return RunResult::kFinished;
  if (IsEmpty()) return RunResult::kFinished;
  ++run_depth_;
  Notify(kActivityEntry);
  RunResult result;
  for (;;) {
    bool handled = DoTimersAndSources();
    if (stop_requested_.exchange(false)) {
      result = RunResult::kStopped;
      break;
    }
    if (handled && return_after_source_handled) {
      // The descriptors get their look before returning: a task handed a closure on every
      // pass (a throttled writer posting to itself) would otherwise never hear its socket.
      WaitAndHandle(0);
      result = stop_requested_.exchange(false) ? RunResult::kStopped : RunResult::kHandledSource;
      break;
    }
    const bool poll = HasPendingWork() || UpTime() >= deadline;
    if (!poll) Notify(kActivityBeforeWaiting);
    handled = WaitAndHandle(poll ? 0 : TimeoutMs(deadline));
    if (!poll) Notify(kActivityAfterWaiting);
    if (stop_requested_.exchange(false)) {
      result = RunResult::kStopped;
      break;
    }
    if (handled && return_after_source_handled) {
      result = RunResult::kHandledSource;
      break;
    }
    if (UpTime() >= deadline) {
      result = RunResult::kTimedOut;
      break;
    }
    if (IsEmpty()) {
      result = RunResult::kFinished;
      break;
    }
  }
  Notify(kActivityExit);
  --run_depth_;
  return result;
}

bool RunLoop::DoTimersAndSources() {
  Notify(kActivityBeforeTimers);
  FireDueTimers();
  Notify(kActivityBeforeSources);
  return PerformSources();
}

void RunLoop::FireDueTimers() {
  const Nanoseconds now = UpTime();
  std::vector<std::shared_ptr<Timer>> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& t : timers_) {
      if (t->IsValid() && !t->firing_ && t->NextFireDate() <= now) due.push_back(t);
    }
  }
  std::stable_sort(due.begin(), due.end(),
                   [](auto& a, auto& b) { return a->NextFireDate() < b->NextFireDate(); });
  for (auto& t : due) {
    if (!t->IsValid()) continue;
    const Nanoseconds fired_for = t->NextFireDate();
    if (fired_for > now) continue;  // moved by an earlier callback of this pass
    // The next date is set before the call, so the callback sees it and may replace it,
    // and a nested run does not fire the timer again. Missed periods are skipped.
    Nanoseconds next = kForever;
    if (t->IsRepeating()) next = fired_for + t->interval_ * ((now - fired_for) / t->interval_ + 1);
    t->fire_ns_.store(next.count());
    t->firing_ = true;
    t->callback_(*t);
    t->firing_ = false;
  }
  std::lock_guard lock(mutex_);
  std::erase_if(timers_, [](auto& t) { return !t->IsValid(); });
  UpdateTimerFd();
}

bool RunLoop::PerformSources() {
  // Vectors, filled only when there is something to do: a pass of a busy loop (a download
  // reading a socket) allocates nothing here. (A default-made deque allocates.)
  std::vector<std::function<void()>> closures;
  std::vector<std::shared_ptr<Source>> signalled;
  {
    std::lock_guard lock(mutex_);
    if (!closures_.empty()) {
      closures.assign(std::make_move_iterator(closures_.begin()), std::make_move_iterator(closures_.end()));
      closures_.clear();
    }
    for (auto& s : sources_) {
      if (s->signalled_.exchange(false)) signalled.push_back(s);
    }
  }
  for (auto& c : closures) c();
  for (auto& s : signalled) {
    if (s->IsValid()) s->perform_();
  }
  return !closures.empty() || !signalled.empty();
}

bool RunLoop::WaitAndHandle(int timeout_ms) {
  epoll_event events[64];
  if (timeout_ms != 0) waiting_.store(true);
  int n = epoll_wait(epoll_.get(), events, 64, timeout_ms);
  waiting_.store(false);
  if (n < 0) n = 0;  // EINTR: go round again
  // At most one entry per event: a fixed array keeps the pass free of allocation.
  std::array<std::pair<std::shared_ptr<DescriptorWatch>, unsigned>, 64> ready;
  std::size_t readyCount = 0;
  for (int i = 0; i < n; ++i) {
    const std::uint64_t id = events[i].data.u64;
    if (id == kWakeId) {
      wake_pending_.store(false);
      std::uint64_t value;
      [[maybe_unused]] ssize_t r = read(wake_fd_.get(), &value, sizeof value);
      continue;
    }
    if (id == kTimerId) {
      std::uint64_t expirations;
      [[maybe_unused]] ssize_t r = read(timer_fd_.get(), &expirations, sizeof expirations);
      std::lock_guard lock(mutex_);
      armed_for_ = kForever;  // an absolute one-shot setting is spent once it expired
      continue;
    }
    std::shared_ptr<DescriptorWatch> watch;
    {
      std::lock_guard lock(mutex_);
      auto it = watches_.find(id);
      if (it != watches_.end()) watch = it->second;
    }
    if (!watch) continue;
    const std::uint32_t e = events[i].events;
    const unsigned interest = watch->Interest();
    unsigned readiness = 0;
    if (e & (EPOLLIN | EPOLLRDHUP)) readiness |= kReadable;
    if (e & EPOLLOUT) readiness |= kWritable;
    if (e & (EPOLLERR | EPOLLHUP)) readiness |= kHangup | interest;
    readiness &= interest | kHangup;
    if (readiness) ready[readyCount++] = {std::move(watch), readiness};
  }
  bool handled = false;
  for (std::size_t i = 0; i < readyCount; ++i) {
    auto& [watch, readiness] = ready[i];
    if (!watch->IsActive()) continue;
    if (watch->in_callback_) {
      // Called from inside this watch's own callback (a nested run): level-triggered
      // readiness would call it again and again, so it sits out until the outer call ends.
      std::lock_guard lock(mutex_);
      watch->suspended_ = true;
      ApplyInterestLocked(*watch);
      continue;
    }
    watch->in_callback_ = true;
    watch->callback_(readiness);
    watch->in_callback_ = false;
    if (watch->suspended_) {
      std::lock_guard lock(mutex_);
      watch->suspended_ = false;
      if (watch->IsActive()) ApplyInterestLocked(*watch);
    }
    handled = true;
  }
  return handled;
}

void RunLoop::Notify(RunLoopActivity activity) {
  std::vector<std::shared_ptr<Observer>> due;
  {
    std::lock_guard lock(mutex_);
    if (observers_.empty()) return;
    for (auto& o : observers_) {
      if ((o->activities_ & activity) && o->IsActive()) due.push_back(o);
    }
  }
  for (auto& o : due) {
    if (!o->IsActive()) continue;
    if (!o->repeats_) o->Cancel();
    o->callback_(activity);
  }
}

void RunLoop::UpdateTimerFd() {
  Nanoseconds earliest = kForever;
  for (auto& t : timers_) {
    if (t->IsValid()) earliest = std::min(earliest, t->NextFireDate());
  }
  if (!CurrentClock().IsSystemClock()) {
    // A fake clock's time means nothing to the kernel; its moves wake the loop instead.
    earliest = kForever;
  }
  if (earliest == armed_for_) return;
  itimerspec when{};
  if (earliest != kForever) {
    // 0 would disarm; an already-due timer gets the smallest date, which expires at once.
    const std::int64_t ns = std::max<std::int64_t>(earliest.count(), 1);
    when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  }
  timerfd_settime(timer_fd_.get(), TFD_TIMER_ABSTIME, &when, nullptr);
  armed_for_ = earliest;
}

bool RunLoop::HasPendingWork() {
  std::lock_guard lock(mutex_);
  if (!closures_.empty()) return true;
  for (auto& s : sources_) {
    if (s->IsSignalled()) return true;
  }
  const Nanoseconds now = UpTime();
  for (auto& t : timers_) {
    if (t->IsValid() && !t->firing_ && t->NextFireDate() <= now) return true;
  }
  return false;
}

bool RunLoop::IsEmpty() {
  std::lock_guard lock(mutex_);
  return timers_.empty() && sources_.empty() && watches_.empty() && closures_.empty();
}

std::shared_ptr<EventQueue> RunLoop::Events() {
  // Its own lock: making the queue adds a source, which takes mutex_.
  std::lock_guard lock(events_mutex_);
  if (!events_) events_ = EventQueue::CreateFor(shared_from_this());
  return events_;
}

}  // namespace runtime
