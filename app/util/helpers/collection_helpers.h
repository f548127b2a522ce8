#pragma once
// Typed reads and writes of numbers in dictionaries, and small operations on arrays of
// dictionaries. A value of the wrong type reads as missing, so a hand-edited or older
// file with a string where a number belongs falls back to the caller's default instead
// of being misread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/values/value.h"

namespace util {

// Setters store numbers of a fixed width: a double, a 32-bit int, and an unsigned 32-bit
// value zero-extended into a signed 64-bit number (so 0xFFFFFFFF stays 4294967295).
// A null `dict` becomes a dictionary first.
void DictSetDouble(values::Value& dict, std::string key, double value);
void DictSetInt(values::Value& dict, std::string key, std::int32_t value);
void DictSetUInt32AsSInt64(values::Value& dict, std::string key, std::uint32_t value);

// Getters: the number converted (reals truncate toward zero), found = true; 0 and
// found = false when the key is missing or holds something other than a number.
double DictGetDouble(const values::Value& dict, std::string_view key, bool* found = nullptr);
std::int32_t DictGetInt(const values::Value& dict, std::string_view key, bool* found = nullptr);
std::int64_t DictGetSInt64(const values::Value& dict, std::string_view key, bool* found = nullptr);
// Only a real Boolean counts; a number under the key reads as missing.
bool DictGetBoolean(const values::Value& dict, std::string_view key, bool* found = nullptr);

// Three-way comparison: -1, 0 or 1.
int CompareUInt32(std::uint32_t a, std::uint32_t b);

// The first key of the dictionary (in its order) and its value; nothing when empty.
std::optional<std::pair<std::string, values::Value>> GetFirstDictionaryEntry(const values::Dictionary& dict);

// Each element's value for `key`, in order. An element without one (or that is not a
// dictionary) contributes a null value, or nothing when `discard_null` is set.
values::Array ArrayWithObjectsForKey(const values::Array& array, std::string_view key,
                                     bool discard_null = false);
// The same, with missing values replaced by `placeholder`.
values::Array ArrayWithObjectsForKey(const values::Array& array, std::string_view key,
                                     const values::Value& placeholder);
// `fn` applied to each element; a null value stands where it gives nothing.
values::Array ArrayByPerformingSelector(
    const values::Array& array, const std::function<std::optional<values::Value>(const values::Value&)>& fn);

}  // namespace util
