#include "platform/prefs/value_conversions.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>
#include <string_view>

#include "platform/values/ascii.h"

namespace prefs {

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::optional<std::int64_t> ParseInteger(std::string_view s) {
  s = Trimmed(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  std::int64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<bool> BoolFromValue(const values::Value& v) {
  if (auto b = v.AsBool()) return *b;
  if (v.IsNumber()) return v.BoolOr(false);
  if (auto s = v.AsString()) {
    const std::string_view text = Trimmed(*s);
    if (values::AsciiEqualsIgnoringCase(text, "true") || values::AsciiEqualsIgnoringCase(text, "yes"))
      return true;
    if (values::AsciiEqualsIgnoringCase(text, "false") || values::AsciiEqualsIgnoringCase(text, "no"))
      return false;
    if (auto n = ParseInteger(text)) return *n != 0;
  }
  return std::nullopt;
}

std::optional<std::int64_t> IntegerFromValue(const values::Value& v) {
  if (auto n = v.AsNumber()) return n->AsInt64();
  if (auto b = v.AsBool()) return *b ? 1 : 0;
  if (auto s = v.AsString()) return ParseInteger(*s);
  return std::nullopt;
}

std::optional<double> DoubleFromValue(const values::Value& v) {
  if (auto n = v.AsNumber()) return n->AsDouble();
  if (auto b = v.AsBool()) return *b ? 1.0 : 0.0;
  if (auto s = v.AsString()) {
    std::string_view text = Trimmed(*s);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double d = 0;
    auto r = std::from_chars(text.data(), text.data() + text.size(), d);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return d;
  }
  return std::nullopt;
}

}  // namespace prefs
