#include "platform/values/string_edit.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "platform/values/char_set.h"

namespace values {

namespace {

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string Uppercase(std::string_view utf8) {
  std::string out;
  if (IsAscii(utf8)) {
    out.assign(utf8);
    for (char& c : out) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    }
    return out;
  }
  icu::UnicodeString s =
      icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  s.toUpper(icu::Locale::getRoot());
  s.toUTF8String(out);
  return out;
}

std::string Lowercase(std::string_view utf8) {
  std::string out;
  if (IsAscii(utf8)) {
    out.assign(utf8);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return out;
  }
  icu::UnicodeString s =
      icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  s.toLower(icu::Locale::getRoot());
  s.toUTF8String(out);
  return out;
}

std::string TrimWhitespace(std::string_view utf8) {
  return TrimCharacters(utf8, CharacterSet::WhitespaceAndNewlines());
}

std::vector<std::string> SplitString(std::string_view utf8, std::string_view separator) {
  std::vector<std::string> pieces;
  if (separator.empty()) {
    pieces.emplace_back(utf8);
    return pieces;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = utf8.find(separator, start);
    if (at == std::string_view::npos) break;
    pieces.emplace_back(utf8.substr(start, at - start));
    start = at + separator.size();
  }
  pieces.emplace_back(utf8.substr(start));
  return pieces;
}

std::string JoinStrings(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i) out.append(separator);
    out.append(pieces[i]);
  }
  return out;
}

}  // namespace values
