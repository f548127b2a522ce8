#include "app/engine/http/http_header_values.h"

#include <charconv>

#include "app/util/text/http_dates.h"

namespace engine {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A run of digits at the front of `text`, consumed; nothing when there is none or it
// overflows.
std::optional<std::int64_t> TakeNumber(std::string_view& text) {
  std::size_t n = 0;
  while (n < text.size() && IsDigit(text[n])) ++n;
  if (n == 0) return std::nullopt;
  std::int64_t value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + n, value);
  if (ec != std::errc()) return std::nullopt;
  text.remove_prefix(n);
  return value;
}

void SkipBlanks(std::string_view& text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view needle) {
  return AsciiLower(text).find(AsciiLower(needle)) != std::string::npos;
}

std::int64_t ContentLengthSize(const std::optional<std::string>& value) {
  if (!value) return -1;
  std::string_view text = TrimBlanks(*value);
  auto n = TakeNumber(text);
  if (!n || !TrimBlanks(text).empty() || *n == 2147483647) return -1;
  return *n;
}

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  std::string_view text = TrimBlanks(value);
  if (AsciiLower(text.substr(0, 5)) == "bytes") text.remove_prefix(5);
  SkipBlanks(text);
  if (!text.empty() && (text.front() == ':' || text.front() == '=')) text.remove_prefix(1);
  SkipBlanks(text);
  ContentRange range;
  auto start = TakeNumber(text);
  if (!start) return std::nullopt;
  range.start = *start;
  SkipBlanks(text);
  if (!text.empty() && text.front() == '-') {
    text.remove_prefix(1);
    SkipBlanks(text);
    if (auto end = TakeNumber(text)) range.end = *end;
  }
  SkipBlanks(text);
  if (!text.empty() && text.front() == '/') {
    text.remove_prefix(1);
    SkipBlanks(text);
    if (auto total = TakeNumber(text)) range.total = *total;
  }
  if (range.end >= 0 && range.end < range.start) return std::nullopt;
  return range;
}

std::optional<std::string> MultipartByterangesBoundary(std::string_view contentType) {
  const std::string lower = AsciiLower(contentType);
  if (lower.find("multipart/byteranges") == std::string::npos &&
      lower.find("multipart/x-byteranges") == std::string::npos) {
    return std::nullopt;
  }
  const auto at = lower.find("boundary=");
  if (at == std::string::npos) return std::nullopt;
  std::string_view rest = contentType.substr(at + 9);
  bool quoted = !rest.empty() && rest.front() == '"';
  if (quoted) rest.remove_prefix(1);
  std::size_t n = 0;
  while (n < rest.size() && n < 380) {
    const char c = rest[n];
    if (quoted ? c == '"' : (IsBlank(c) || c == ';')) break;
    ++n;
  }
  if (n == 0) return std::nullopt;
  return std::string(rest.substr(0, n));
}

bool AcceptRangesNone(const std::optional<std::string>& value) {
  return value && ContainsIgnoringCase(*value, "none");
}

bool ETagsDiffer(std::string_view stored, std::string_view received) {
  return AsciiLower(TrimBlanks(stored)) != AsciiLower(TrimBlanks(received));
}

DateAge ResponseDateAge(const std::optional<std::string>& date, values::AbsoluteTime now) {
  if (!date) return DateAge::kMissing;
  const auto when = util::ParseHTTPDate(TrimBlanks(*date));
  if (!when) return DateAge::kUnreadable;
  return now - *when > kOldResponseSeconds ? DateAge::kOld : DateAge::kRecent;
}

}  // namespace engine
