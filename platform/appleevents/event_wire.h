#pragma once
// The binary form of events on the event socket and in initial-event files.
//
// All integers are big-endian. A descriptor is its type (4 bytes), its shape (1 byte:
// 0 scalar, 1 list, 2 record) and then: for a scalar, a 32-bit length and the bytes;
// for a list, a 32-bit count and the items; for a record, a 32-bit count and per field
// the keyword (4 bytes) and the value. An event message is "TRAE", a version byte (1),
// a flags byte (bit 0: the sender waits for a reply), the class and id (4 bytes each),
// the attributes record and the parameters record. On the socket each message is
// preceded by its 32-bit length.
//
// Decoding trusts nothing: lengths and counts are checked against the bytes that are
// there before anything is allocated, a message longer than kMaxMessageBytes or nested
// deeper than kMaxNesting, or a record of more than
// kMaxRecordFields keywords, is refused with kMessageTooLarge, and anything else that
// does not add up is kCorruptData.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/appleevents/apple_event.h"

namespace appleevents {

// Room for thousands of URLs with cookies and form data; a larger message is a fault
// or an attack, never a hand-off.
inline constexpr std::size_t kMaxMessageBytes = 16 * 1024 * 1024;
// Lists of records of lists: the events we carry are three levels deep at most.
inline constexpr int kMaxNesting = 32;
// Keywords are looked up one by one; events name a handful, so a thousand is plenty.
inline constexpr std::uint32_t kMaxRecordFields = 1024;

struct WireEvent {
  AppleEvent event;
  bool wants_reply = true;
};

std::string EncodeDescriptor(const Descriptor& desc);
Status DecodeDescriptor(std::string_view bytes, Descriptor& out);

std::string EncodeEvent(const AppleEvent& event, bool wants_reply = true);
Status DecodeEvent(std::string_view bytes, WireEvent& out);

// The message with its length in front, as written to the socket.
std::string FrameMessage(std::string_view message);

// Reads the first framed message of the bytes received on a connection. kNoErr with
// `used` 0: the frame is not whole yet (keep the bytes, read more). kNoErr with `used`
// above 0: `out` holds the message and its frame was that many bytes. Any other status:
// the frame is refused (too large, or it does not decode) and the connection is done.
Status DecodeFrame(std::string_view received, std::size_t& used, WireEvent& out);

}  // namespace appleevents
