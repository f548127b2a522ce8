#pragma once
// Compound values of the settings and their stored forms.
//
// Colours are stored as {"red", "green", "blue"} (32-bit numbers holding 16-bit
// components 0-65535) and "alpha" (a float 0.0-1.0). The per-domain download limits are
// stored as domain -> 64-bit number and kept in memory as plain 32-bit counts; folder UID
// lists are stored as arrays of 64-bit numbers and kept as plain 32-bit UIDs.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/values/value.h"

namespace util {

struct RGBColor {
  std::uint16_t red = 0;
  std::uint16_t green = 0;
  std::uint16_t blue = 0;
  bool operator==(const RGBColor&) const = default;
};

// A colour with its opacity, as the settings keep it.
struct SettingsColor {
  RGBColor rgb;
  float alpha = 1.0f;
  bool operator==(const SettingsColor&) const = default;
};

values::Dictionary ColorToDictionary(const RGBColor& rgb, float alpha);

// Fills rgb and alpha from a colour dictionary and answers true, only when all four
// entries are numbers; otherwise leaves both untouched and answers false, so that a
// damaged entry never yields half of one colour and half of another. Components outside
// 0-65535 and alphas outside 0-1 are brought to the nearest bound.
bool DictionaryToColor(const values::Value& dictionary, RGBColor& rgb, float& alpha);

using DomainLimits = std::map<std::string, std::int32_t, std::less<>>;

// Domain limits from their stored dictionary. Entries that are not numbers are left out;
// a limit below 1 becomes 1, since a domain limited to no download at all would hold its
// downloads in the queue for ever.
DomainLimits DomainLimitsFromDictionary(const values::Value& stored);
values::Dictionary DomainLimitsToDictionary(const DomainLimits& limits);

// Folder UID lists. Elements that are not numbers are left out.
std::vector<std::uint32_t> UIDListFromArray(const values::Array& stored);
values::Array UIDListToArray(const std::vector<std::uint32_t>& uids);

}  // namespace util
