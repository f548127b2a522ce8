#pragma once
// SIGTERM, SIGINT and SIGHUP (the session ending, Ctrl-C, the terminal closing) end the
// program the way the quit event does: the main loop stops and the shut-down saves the
// queue, the settings and the log. The handler only writes a byte to a pipe that the main
// run loop watches, which is all a signal handler may safely do; a second signal while the
// shut-down is still waiting ends the program at once (the queue is saved before that wait).
// Handlers are reset on exec, so programs the application starts keep the default actions.

#include <memory>

#include "platform/runtime/run_loop.h"

namespace shell {

class TerminationSignals {
 public:
  // Installs the handlers and watches the pipe on `loop`; nullptr when the pipe cannot be made.
  static std::unique_ptr<TerminationSignals> Watch(std::shared_ptr<runtime::RunLoop> loop);
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  TerminationSignals() = default;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::DescriptorWatch> watch_;
};

}  // namespace shell
