#pragma once
// The events the file-transfer server posts to the main queue (class 'S_se', with the
// application as post target), and their parameters:
//   kind 1  a GET starts sending: 'Fnam', 'Unam', 'IP__' (strings), 'ID__' (UInt32)
//   kind 2  that connection ended: 'ID__'
//   kind 5  a reception starts: 'File' (the partial data file), 'Canc' (its
//           TransferCancelSource), 'UID ' (UUID text), 'Fnam', 'Unam', 'IP__',
//           'DSiz' and 'Size' (SInt64), 'ID__'
//   kind 6  a reception ended: 'ID__', 'UID '; when complete also 'File' (the received
//           file), 'Name', 'IP  ' and, when above 0, 'Sped' (KB/s, float)
//   kind 7  reception progress, every 1.6 s: 'UID ', 'Tot_' (SInt64), 'Sped' once known
// and the send limiter's read-out, class 'TR__' kind 1: '----' (SInt32 bytes last second).

#include <cstdint>

#include "platform/runtime/event.h"
#include "platform/values/fourcc.h"

namespace sharing {

inline constexpr values::FourCharCode kFileServerEventClass = values::FourCC("S_se");
inline constexpr std::uint32_t kFileServerSendStarted = 1;
inline constexpr std::uint32_t kFileServerSendEnded = 2;
inline constexpr std::uint32_t kFileServerReceptionStarted = 5;
inline constexpr std::uint32_t kFileServerReceptionEnded = 6;
inline constexpr std::uint32_t kFileServerReceptionProgress = 7;
inline constexpr values::FourCharCode kFileServerSpeedEventClass = values::FourCC("TR__");

inline constexpr std::uint32_t kFirstReceptionID = 1000000000;

// Posts to the main queue at standard priority, or low for kinds 2, 6 and 7.
void PostFileServerEvent(runtime::EventRef event);

}  // namespace sharing
