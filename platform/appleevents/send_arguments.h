#pragma once
// The command line of truvane-send and the printing of its reply.
//
//   truvane-send [--launch] [--timeout SECONDS] CLASS ID [KEY:TYPE=VALUE ...]
//
// CLASS, ID and KEY are four-character codes (quoted when they hold spaces, 'AEq ');
// `----` is the direct parameter. TYPE is TEXT, utf8, magn, long, shor, comp, bool or
// fsrf (a path). A KEY given more than once makes a list of its values, in order.

#include <chrono>
#include <string>
#include <vector>

#include "platform/appleevents/apple_event.h"

namespace appleevents {

struct SendCommand {
  bool launch = false;
  std::chrono::milliseconds timeout{60000};
  AppleEvent event;
};

// An empty `error` on success; else a message for standard error.
SendCommand ParseSendArguments(const std::vector<std::string>& args, std::string& error);

// The reply's direct parameter as the sender prints it: numbers in decimal, texts as
// they are, a list one item per line, nothing for a null reply; each line ends with "\n".
std::string FormatReplyValue(const Descriptor& value);

}  // namespace appleevents
