#include "app/util/text/string_utilities.h"

#include <cerrno>
#include <cstdlib>

#include "platform/values/string_edit.h"
#include "platform/values/text_break.h"
#include "platform/values/utf16.h"

namespace util {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
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
