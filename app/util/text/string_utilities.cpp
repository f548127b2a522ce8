#include "app/util/text/string_utilities.h"

#include <cerrno>
#include <cstdlib>

#include "platform/values/string_edit.h"
#include "platform/values/text_break.h"
#include "platform/values/utf16.h"

namespace util {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (std::size_t pos; (pos = text.find(from, start)) != std::string::npos; start = pos + from.size()) {
    out.append(text, start, pos - start);
    out.append(to);
  }
  out.append(text, start);
  text = std::move(out);
}

}  // namespace

std::int64_t CFStringToSInt64(std::string_view text) {
  const std::string copy(text);  // strtoll needs a terminated string
  errno = 0;
  return static_cast<std::int64_t>(std::strtoll(copy.c_str(), nullptr, 10));
}

bool CFStringHasPrefixOrEmpty(std::string_view text, std::string_view prefix) {
  return prefix.empty() || text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> CreateArrayOfLines(std::string_view text) {
  static const values::CharacterSet kLineBreaks = values::CharacterSet::FromCharacters("\r\n\u2028\u2029");
  std::vector<std::string> lines;
  for (const std::string& piece : values::SplitAtCharacters(text, kLineBreaks)) {
    std::string line = values::TrimWhitespace(piece);
    if (!line.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

std::string CopyXMLUnescapedString(std::string_view text) {
  std::string out(text);
  ReplaceAll(out, "&amp;", "&");
  ReplaceAll(out, "&gt;", ">");
  ReplaceAll(out, "&lt;", "<");
  return out;
}

std::string TruncateAtClusterBreak(std::string_view text, std::size_t max_length) {
  if (values::Utf16Length(text) <= max_length) return std::string(text);
  if (max_length == 0) return std::string();
  return values::TruncateAtClusterBoundary(text, max_length - 1);
}

}  // namespace util
