#pragma once
// The program's one formatter for printf-style format strings with the platform's `%@`,
// type-safe: arguments arrive as a list of `FormatArg`, so a wrong or missing argument
// costs a wrong word in the output, never a crash.
//
//   values::Format("Download of %@ complete\r", {name})
//   values::Format("%.1f MB", {size_in_mb})
//   values::Format("Name: %-20@\tHost:%-20@", {name, host})
//
// Conversions: %@ %d %i %u %x %X %o %c %C %s %S %f %F %e %E %g %G %a %A %p %%, with flags
// (- + space # 0), widths and precisions (also `*` taken from the arguments), length
// modifiers (hh h l ll q j z t L, ignored where they mean nothing here) and positional
// arguments (%1$@, %2$d, %*3$d). Integer conversions use the width that the length
// modifier names, as C does on a 64-bit system: %d and %x take the low 32 bits, %ld, %lld,
// %lu, %llx take 64 bits, %hd 16 and %hhd 8; so the digits are exactly those printf
// writes for an argument of that C type.
//
// `%@` writes:
//   strings (std::string, string_view, const char*, string Values) as they are;
//   integers in decimal; booleans as "true"/"false";
//   reals as the platform's number description: "%.17g" of the value (1.5 -> "1.5",
//     3.0 -> "3", 0.1 -> "0.10000000000000001"), with 0 as "0.0", "nan", "+infinity"
//     and "-infinity";
//   dates as DescribeDate (date_time.h), data as "<0a0b0c0d 0e>", arrays and dictionaries
//     as Value::Describe; a null Value or null const char* as "(null)".
// Widths and precisions of %@ and %s count UTF-16 units and pad with spaces ("%-20@");
// a precision cuts the text, never inside a surrogate pair.
//
// Mismatches: a number given to %@ or %s writes its description; text given to a numeric
// conversion is written as text (with the width applied); a real given to an integer
// conversion is truncated toward zero (saturating); an integer given to a real conversion
// is converted. A missing argument is taken as null: "(null)" for %@ and %s, 0 for
// numbers. Arguments beyond those the format uses are ignored. An unknown conversion is
// copied to the output as written. %n writes nothing.
//
// `%s` bytes are taken as UTF-8 (every string here is UTF-8); bytes that are not valid
// UTF-8 come out as U+FFFD.
//
// A FormatArg only refers to its argument; it must not outlive the call it is made for.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "platform/values/value.h"

namespace values {

class FormatArg {
 public:
  FormatArg(char v) : v_(static_cast<std::int64_t>(v)) {}
  FormatArg(signed char v) : v_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned char v) : v_(static_cast<std::uint64_t>(v)) {}
  FormatArg(short v) : v_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned short v) : v_(static_cast<std::uint64_t>(v)) {}
  FormatArg(int v) : v_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned v) : v_(static_cast<std::uint64_t>(v)) {}
  FormatArg(long v) : v_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned long v) : v_(static_cast<std::uint64_t>(v)) {}
  FormatArg(long long v) : v_(static_cast<std::int64_t>(v)) {}
  FormatArg(unsigned long long v) : v_(static_cast<std::uint64_t>(v)) {}
  FormatArg(bool v) : v_(Boolean{v}) {}
  FormatArg(float v) : v_(static_cast<double>(v)) {}
  FormatArg(double v) : v_(v) {}
  FormatArg(const char* s) : v_(s ? Text{std::string_view(s)} : Text{std::nullopt}) {}
  FormatArg(const std::string& s) : v_(Text{std::string_view(s)}) {}
  FormatArg(std::string_view s) : v_(Text{s}) {}
  FormatArg(const Value& v) : v_(&v) {}
  FormatArg(const void* p) : v_(Pointer{p}) {}
  FormatArg(std::nullptr_t) : v_(Text{std::nullopt}) {}

  struct Boolean {
    bool value;
  };
  struct Text {
    std::optional<std::string_view> text;  // nullopt: a null string
  };
  struct Pointer {
    const void* p;
  };
  using Storage = std::variant<std::int64_t, std::uint64_t, double, Boolean, Text, const Value*, Pointer>;
  const Storage& storage() const { return v_; }

 private:
  Storage v_;
};

std::string Format(std::string_view format, std::span<const FormatArg> args);
inline std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
  return Format(format, std::span<const FormatArg>(args.begin(), args.size()));
}
inline std::string Format(std::string_view format) {
  return Format(format, std::span<const FormatArg>());
}

// What `%@` writes for a value (see above).
std::string DescribeForFormat(const Value& value);

// The platform's description of a real number: "%.17g", and "0.0" for zero.
std::string DescribeReal(double d);

}  // namespace values
