#pragma once
// A stream error in words, for the person reading a failure: "Connection refused" rather
// than the stored number (61, a BSD errno that means nothing on this system). Every
// {domain, code} pair gets a sentence; a code this table does not know still names its
// domain and number, so no failure ever reads as an empty reason.

#include <string>

#include "platform/net/stream_error.h"

namespace net {

std::string StreamErrorReason(const StreamError& error);

}  // namespace net
