#pragma once
// The stored bandwidth limits.
//
// Each limit is a dictionary {"limit" (32-bit number, bytes per second), "status"
// (Boolean, limiting on)} beside entries only the preferences window uses ("total",
// "connection type"), which every writer here leaves as stored.
//
// The download and the upload limit are each stored under two keys that differ only in
// case. The settings store and the preferences window use "Bandwidth settings" and
// "Upload Bandwidth settings"; the live writer of the bandwidth menus and the mini window
// (SetDownloadBandwidthLimit, SetUploadBandwidthLimit) writes "Bandwidth Settings" and
// "Upload Bandwidth Settings" on every change. Both spellings stay, byte for byte, since
// each has readers of its own. So that a limit set in either place survives a restart,
// the store keeps the two keys of a pair in step:
//
//  - Every write of the store (SavePreferences, SaveBandwidthSettings) writes "limit" and
//    "status" into both keys, and remembers the pair it wrote as the agreed value.
//  - At start-up the live key wins when it has a limit: it is written on every change
//    while the program runs, while the other key is written only by the store (which
//    writes both) and by the preferences window (whose apply is followed by a reload
//    that brings the pair back in step, below). So when the two differ at start-up, the
//    live key was written last. Without it the store key is used, then the defaults.
//  - At a reload (after the preferences window's apply) the store remembers the agreed
//    value, and the key that differs from it is the one changed since. The store key wins
//    when it changed, since the window's apply is the newest act; else the live key wins
//    when it changed. The winner is then written into both keys.
// A stale window that writes back an old store key cannot undo a menu change this way:
// its write equals the agreed value, so the changed live key still wins.

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/values/value.h"

namespace util {

struct BandwidthLimit {
  std::int32_t limit = 0;  // bytes per second
  bool status = false;     // limiting on
  bool operator==(const BandwidthLimit&) const = default;
};

// One stored limit: the values taken when its dictionary is present (before its own
// "limit" and "status" override them) and when it is absent altogether.
struct BandwidthKey {
  std::string_view key;
  BandwidthLimit present;
  BandwidthLimit absent;
};

// A limit stored under the store's key and the live writer's key.
struct BandwidthKeyPair {
  BandwidthKey store;
  std::string_view liveKey;  // same present and absent values as the store key
};

inline constexpr BandwidthKeyPair kDownloadBandwidthKeys{
    {"Bandwidth settings", {65536, false}, {65536, false}}, "Bandwidth Settings"};
inline constexpr BandwidthKeyPair kUploadBandwidthKeys{
    {"Upload Bandwidth settings", {32768, false}, {32768, false}}, "Upload Bandwidth Settings"};
// The file server's sending and receiving limits.
inline constexpr BandwidthKey kServerSendBandwidthKey{"Bandwidth settings2", {65536, false}, {16384, false}};
inline constexpr BandwidthKey kServerReceiveBandwidthKey{
    "server in Bandwidth settings", {16384, true}, {16384, false}};

// The limit of one dictionary of the domain: the row's present values overridden by the
// dictionary's own "limit" and "status", or the absent values. A stored value that is not
// a dictionary counts as absent; a "limit" or "status" that does not convert
// (value_conversions.h), or a limit beyond 32 bits, keeps the row's.
BandwidthLimit ReadBandwidthLimit(const values::Dictionary& domain, const BandwidthKey& row);
BandwidthLimit ReadBandwidthLimit(const values::Dictionary& domain, std::string_view key,
                                  const BandwidthKey& row);

// The limit of a pair (see the model above). `agreed` is the value the store last wrote to
// or loaded from both keys, absent at start-up.
BandwidthLimit ChooseBandwidthLimit(const values::Dictionary& domain, const BandwidthKeyPair& pair,
                                    const std::optional<BandwidthLimit>& agreed);

// The stored dictionary of `key` (a new one when absent) with "limit" and "status" set
// and every other entry kept.
values::Dictionary MergeBandwidthDictionary(const values::Dictionary& domain, std::string_view key,
                                            const BandwidthLimit& limit);

}  // namespace util
