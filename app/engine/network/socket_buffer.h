#pragma once
// The receive buffer of a download's socket under a bandwidth limit.
//
// With the download limit on, each connection gets a kernel receive buffer of about three
// seconds of its share of the limit (five for FTPS data, whose TLS records arrive in
// larger bursts), and at least 32 KiB. A small buffer makes the sender see the limit as a
// closed window instead of the limiter stalling reads behind a megabyte of queued bytes.
//
// Without a limit (or with a rate so high that it is no limit) the buffer is left alone:
// on Linux a fixed SO_RCVBUF turns off the kernel's receive-window autotuning, which is
// what makes an unlimited download fast.

#include <cstdint>
#include <optional>

#include "app/engine/task/download_transport.h"

namespace engine {

inline constexpr int kSocketBufferFactor = 3;
inline constexpr int kFTPSSocketBufferFactor = 5;
inline constexpr std::int64_t kMinSocketReceiveBuffer = 32768;
// Past this the kernel's autotuning (up to tcp_rmem's maximum, 6 MiB by default) does
// better than a fixed size, so no size is set.
inline constexpr std::int64_t kMaxSocketReceiveBuffer = 4 * 1024 * 1024;

// The size to set for a limit of `bytesPerSecond` shared by `wantedConnections`; nullopt
// when the limit is off or the size would pass kMaxSocketReceiveBuffer.
std::optional<int> StreamSocketBufferSize(bool limitOn, std::int64_t bytesPerSecond,
                                          std::int32_t wantedConnections, int factor = kSocketBufferFactor);

// Sets SO_RCVBUF on `descriptor` by the download limit in force (limit_settings.h) and
// the download's wanted connections. Returns the size asked for, or nullopt when none was
// set (no limit, no socket, or the system refused).
std::optional<int> SetStreamSocketBuffer(int descriptor, const DownloadFacts& download,
                                         int factor = kSocketBufferFactor);

}  // namespace engine
