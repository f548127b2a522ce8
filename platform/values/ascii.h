#pragma once
// Case folding for protocol tokens (schemes, header names, auth parameters, host names),
// which are ASCII by definition: no locale, no Unicode tables, bytes above 0x7F untouched.
// The one place the program lowers ASCII: std::tolower depends on the C locale, which
// the UI toolkit sets from the user's environment.

#include <cstddef>
#include <string>
#include <string_view>

namespace values {

constexpr char AsciiLowerChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLowerChar(c);
  return out;
}

constexpr bool AsciiEqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
  }
  return true;
}

constexpr bool AsciiStartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && AsciiEqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

constexpr bool AsciiEndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         AsciiEqualsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace values
