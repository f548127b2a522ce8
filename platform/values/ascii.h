#pragma once
// Case folding for protocol tokens (schemes, header names, auth parameters, host names),
// which are ASCII by definition: no locale, no Unicode tables, bytes above 0x7F untouched.

#include <string>
#include <string_view>

namespace values {

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace values
