#pragma once
// The "Share port" as the two sharing servers use it: the line-protocol server listens on
// it and the file server on the port above it, so a port is usable only when both are
// real ports. Port 0 would ask the system for any free port, one no peer could find, and
// 65535 has no port above it.

#include <cstdint>
#include <optional>

namespace sharing {

// The share port in force, or nothing when it cannot be used; then the log says so once
// for that value, however many servers ask.
std::optional<std::uint16_t> UsableSharePort();

}  // namespace sharing
