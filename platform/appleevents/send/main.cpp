// truvane-send: hands one event to Truvane and prints the reply (see send_arguments.h).

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/appleevents/event_client.h"
#include "platform/appleevents/send_arguments.h"

namespace {

// `truvane` next to this program, as installed together.
std::string SiblingProgram() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "truvane";
  std::string self(buf, static_cast<std::size_t>(n));
  return self.substr(0, self.find_last_of('/') + 1) + "truvane";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace appleevents;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  SendCommand cmd = ParseSendArguments(args, error);
  if (!error.empty()) {
    std::cerr << "truvane-send: " << error << "\n";
    return 2;
  }
  SendOptions options;
  options.timeout = cmd.timeout;
  if (cmd.launch) options.launch_program = SiblingProgram();
  AppleEvent reply;
  const Status sent = SendEvent(cmd.event, reply, options);
  if (sent == kProcNotFound) {
    std::cerr << "truvane-send: Truvane is not running\n";
    return 1;
  }
  if (sent != kNoErr) {
    std::cerr << "truvane-send: cannot reach Truvane (error " << sent << ")\n";
    return 1;
  }
  // An event that did part of its work answers and fails at once (a hand-off that added
  // one URL and refused another): the answer is printed, the reason goes to standard error.
  if (const Descriptor* value = reply.Parameters().Find(keys::kDirectObject)) {
    std::cout << FormatReplyValue(*value);
  }
  if (const Status failed = reply.ErrorNumber(); failed != kNoErr) {
    std::cout.flush();
    const std::string message = reply.ErrorString();
    std::cerr << "truvane-send: the event failed (error " << failed << ")" << (message.empty() ? "" : ": ")
              << message << "\n";
    return 1;
  }
  return 0;
}
