#include "app/shell/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "platform/runtime/event_queue.h"

namespace shell {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
std::atomic<int> gSignalPipeWrite{-1};
int gSignalPipeRead = -1;

void OnTerminationSignal(int signal_number) {
  const int saved_errno = errno;
  // Back to the default action: a second signal ends the program even if the shut-down hangs.
  for (int s : kSignals) ::signal(s, SIG_DFL);
  const int fd = gSignalPipeWrite.load();
  if (fd >= 0) {
    const char byte = static_cast<char>(signal_number);
    [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

std::unique_ptr<TerminationSignals> TerminationSignals::Watch(std::shared_ptr<runtime::RunLoop> loop) {
  if (gSignalPipeRead < 0) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    gSignalPipeRead = fds[0];
    gSignalPipeWrite = fds[1];
  }
  std::unique_ptr<TerminationSignals> self(new TerminationSignals);
  self->loop_ = loop;
  self->watch_ = loop->AddWatch(gSignalPipeRead, runtime::kReadable, [](unsigned) {
    char bytes[16];
    while (::read(gSignalPipeRead, bytes, sizeof bytes) > 0) {
    }
    runtime::QuitApplicationEventLoop();
  });
  if (!self->watch_) return nullptr;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) ::sigaction(s, &action, nullptr);
  return self;
}

TerminationSignals::~TerminationSignals() {
  for (int s : kSignals) ::signal(s, SIG_DFL);
  if (watch_ && loop_) loop_->RemoveWatch(watch_);
}

}  // namespace shell
