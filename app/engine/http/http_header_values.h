#pragma once
// Reading the values of the response fields the HTTP transport decides on. Pure text
// work, no connection: every function takes the field's text (or nothing when the field
// is absent) and says what it means, so that the odd values servers send are tested here
// case by case.

#include "platform/values/ascii.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/values/clock.h"

namespace engine {

using values::AsciiLower;
std::string_view TrimBlanks(std::string_view text);
bool ContainsIgnoringCase(std::string_view text, std::string_view needle);

// Content-Length as a size: -1 when absent, not a number, negative, or exactly
// 2147483647 (what some servers send for "too large to say" and what a 32-bit signed
// field saturates at).
std::int64_t ContentLengthSize(const std::optional<std::string>& value);

// A Content-Range (or the old "Range") response field: "bytes 100-199/1000",
// "bytes=100-199/1000", "bytes: 100-199/*". The total is -1 for "*" or when absent.
struct ContentRange {
  std::int64_t start = 0;
  std::int64_t end = -1;  // last byte, inclusive; -1 when not given
  std::int64_t total = -1;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);

// The boundary of a "multipart/byteranges" (or "multipart/x-byteranges") Content-Type:
// the text after "boundary=" up to a blank or ";", quotes removed, at most 380
// characters. Nothing for other types or without a boundary.
std::optional<std::string> MultipartByterangesBoundary(std::string_view contentType);

// "Accept-Ranges" says the server never serves ranges.
bool AcceptRangesNone(const std::optional<std::string>& value);

// ETags compare without regard to case; a weak one ("W/...") is still a version name.
bool ETagsDiffer(std::string_view stored, std::string_view received);

// How old a response's Date is. Servers that answer a range request with the whole file
// are told apart by it: a recent Date means the server really cannot resume; a Date far
// in the past means a cache in between answered, which may do better on a later try.
enum class DateAge { kMissing, kUnreadable, kRecent, kOld };
inline constexpr double kOldResponseSeconds = 2592000;  // 30 days
DateAge ResponseDateAge(const std::optional<std::string>& date, values::AbsoluteTime now);

}  // namespace engine
