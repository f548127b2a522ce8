#pragma once
// The server activity window of the sharing file server: how many connections send or
// receive files now (control 2), one row per running transfer with its file, user and
// address (list control 3), and the smoothed sending rate ('Truv'/1, "%.1f k/s"). There
// is at most one; opening it again brings it to the front. Its place is kept in
// "server activity bounds"; a saved place with a negative edge or inverted sides is
// ignored, and a saved height below 50 shows it folded (disclosure control 4 closed).
//
// The running transfers are this module's table (transfer id -> file, user, address),
// filled from the file server's started and ended events whether or not the window is
// open, so that the window shows them all when it opens.
//
// Main thread only.

#include <cstdint>
#include <map>
#include <string>

#include "platform/toolbox/windows/window.h"

namespace ui {

inline constexpr std::int32_t kActivityRateTextID = 1;
inline constexpr std::int32_t kActivityCountTextID = 2;
inline constexpr std::int32_t kActivityListID = 3;
inline constexpr std::int32_t kActivityDisclosureID = 4;
inline constexpr values::FourCharCode kActivityRateProperty = values::FourCC("Coun");
inline constexpr char kServerActivityBoundsKey[] = "server activity bounds";

struct ServerTransfer {
  std::string file;
  std::string user;
  std::string ip;
};

toolbox::Window* ShowServerActivityWindow();
// The window while open, else null.
toolbox::Window* ServerActivityWindow();

// The running transfers (the window's rows).
const std::map<std::uint32_t, ServerTransfer>& ServerTransfers();
void RecordServerTransfer(std::uint32_t id, ServerTransfer transfer);
// False when the id was not recorded.
bool EndServerTransfer(std::uint32_t id);
void ForgetServerTransfers();  // tests

// A sample of the bytes sent in the last second: while the window is open the shown rate
// becomes sample x 0.75 + previous x 0.25 (whole bytes). Returns the text shown, or ""
// when the window is closed.
std::string ServerActivitySpeedSample(std::int64_t bytesPerSecond);

}  // namespace ui
