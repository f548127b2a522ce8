#pragma once
// Result codes of the Apple-event layer. They keep the platform's historic numbers,
// because handlers and scripts compare them and show them in messages.

#include "platform/runtime/status.h"

namespace appleevents {

using Status = runtime::Status;

inline constexpr Status kNoErr = 0;
inline constexpr Status kParamErr = -50;
inline constexpr Status kFileNotFoundErr = -43;    // a path that names no item, made into a file reference
inline constexpr Status kProcNotFound = -600;      // no application answers on the event socket
inline constexpr Status kCoercionFail = -1700;     // errAECoercionFail
inline constexpr Status kDescNotFound = -1701;     // errAEDescNotFound: a parameter or item is missing
inline constexpr Status kCorruptData = -1702;      // errAECorruptData: a message that does not decode
inline constexpr Status kWrongDataType = -1703;    // errAEWrongDataType
inline constexpr Status kNotAEDesc = -1704;        // errAENotAEDesc: an operation on the wrong kind
inline constexpr Status kEventNotHandled = -1708;  // errAEEventNotHandled: no handler for (class, id)
inline constexpr Status kTimeout = -1712;          // errAETimeout: no reply within the time-out
// Our own code (free in the platform's range): a message over the size or nesting limit.
inline constexpr Status kMessageTooLarge = -1722;
inline constexpr Status kConnectionFailed = -609;  // connectionInvalid: the socket broke off mid-exchange
inline constexpr Status kLaunchFailed = -10810;    // the application could not be started

}  // namespace appleevents
