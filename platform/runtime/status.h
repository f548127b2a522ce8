#pragma once
// Status codes of the runtime layer. Errors are values: every call that can fail returns
// a `Status`, 0 for success. The numbers are the ones the rest of the program tests and
// shows in messages ("Error %d"), so they keep the platform's historic values.

#include <cstdint>

namespace runtime {

using Status = std::int32_t;

inline constexpr Status kNoErr = 0;
inline constexpr Status kParamErr = -50;
inline constexpr Status kWrongParameterTypeErr = -1703;  // a parameter exists with another type

// Events and event loops.
inline constexpr Status kEventParameterNotFoundErr = -9870;
inline constexpr Status kEventNotHandledErr = -9874;  // a handler declines; the event goes on
inline constexpr Status kEventLoopTimedOutErr = -9875;
inline constexpr Status kEventLoopQuitErr = -9876;  // the event loop was told to quit

// Tasks and message queues.
inline constexpr Status kQueueDeletedErr = -29295;  // the queue was deleted while (or before) waiting
inline constexpr Status kTimeoutErr = -29296;
inline constexpr Status kInsufficientResourcesErr = -29298;
inline constexpr Status kInvalidIdErr = -29299;  // no such queue (never created, or deleted)

}  // namespace runtime
