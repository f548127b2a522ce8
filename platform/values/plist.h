#pragma once
// Property lists: the file format of preferences, the queue file and keyed archives.
//
// Two encodings hold the same values. XML ("<?xml ...?>" with the plist DOCTYPE) is what
// we write for everything a person may read; the binary form ("bplist00") is read
// wherever a file may come from elsewhere and written where size matters.
//
// What survives which encoding:
// - Integers are read back as 64-bit (`kInt64`, or `kUInt64` above INT64_MAX): neither
//   encoding records the 8/16/32-bit width a value had in memory. Reals keep single or
//   double precision in binary; XML reads every real as double.
// - Dates keep their fraction in binary; XML stores whole seconds (the fraction is cut
//   toward the earlier second, as the platform writes them).
// - Sets are written as arrays in XML and read back as arrays.
// - Null cannot be stored in either encoding; writing it is an error.
// - Keyed archives refer to objects by UID. A UID is the dictionary {"CF$UID": n} (n an
//   integer from 0 to 2^32-1): that is how XML spells it, the binary reader turns UID
//   objects into it, and the binary writer turns such a dictionary back into a UID.
//
// Readers never trust their input: every malformed file gives an error saying what was
// wrong, never a partial or empty value.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/values/value.h"

namespace values {

enum class PlistFormat : std::uint8_t { kXml, kBinary };

// Nesting deeper than this is refused when reading and when writing, so that a hostile
// file cannot exhaust the stack and everything we write can be read back.
inline constexpr int kMaxPlistDepth = 512;

// A value of type T, or a message saying what went wrong.
template <class T>
class PlistResult {
 public:
  PlistResult(T value) : v_(std::move(value)) {}
  static PlistResult Failure(std::string message) { return PlistResult(Error{std::move(message)}); }

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<0>(v_); }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const T* operator->() const { return &std::get<0>(v_); }
  const T& operator*() const { return std::get<0>(v_); }
  // Empty when ok().
  const std::string& error() const {
    static const std::string kNone;
    return ok() ? kNone : std::get<1>(v_).message;
  }

 private:
  struct Error {
    std::string message;
  };
  explicit PlistResult(Error e) : v_(std::move(e)) {}
  std::variant<T, Error> v_;
};

// Reads either encoding, telling them apart by the "bplist" signature. `format`, when
// given, receives the encoding found.
PlistResult<Value> ReadPropertyList(std::span<const std::uint8_t> bytes, PlistFormat* format = nullptr);
PlistResult<Value> ReadPropertyList(std::string_view bytes, PlistFormat* format = nullptr);

// Reads a whole file (at most kMaxPlistFileSize bytes) and parses it.
inline constexpr std::size_t kMaxPlistFileSize = std::size_t{256} << 20;
PlistResult<Value> ReadPropertyListFile(const std::string& path, PlistFormat* format = nullptr);

PlistResult<Bytes> WritePropertyList(const Value& value, PlistFormat format);

// Keyed-archive UIDs (see above).
inline constexpr std::string_view kUidKey = "CF$UID";
Value MakeUid(std::uint32_t uid);
std::optional<std::uint32_t> GetUid(const Value& value);

}  // namespace values
