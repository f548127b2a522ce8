#include "app/util/string_utilities.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

namespace util {
namespace {

// Calls `fn(code_point, begin, end)` for each code point of the UTF-8 text; ill-formed
// bytes come as U+FFFD one byte at a time.
template <typename Fn>
void ForEachCodePoint(std::string_view text, Fn fn) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::int32_t length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length) {
    const std::int32_t begin = i;
    UChar32 c;
    U8_NEXT(s, i, length, c);
    if (c < 0) c = 0xFFFD;
    fn(static_cast<char32_t>(c), static_cast<std::size_t>(begin), static_cast<std::size_t>(i));
  }
}

bool IsLineSeparator(char32_t c) { return c == '\r' || c == '\n' || c == 0x2028 || c == 0x2029; }

bool IsTrimmedWhiteSpace(char32_t c) { return u_isUWhiteSpace(static_cast<UChar32>(c)); }

std::string Trim(std::string_view text) {
  std::size_t first = text.size();
  std::size_t last = 0;
  ForEachCodePoint(text, [&](char32_t c, std::size_t begin, std::size_t end) {
    if (IsTrimmedWhiteSpace(c)) return;
    if (first == text.size()) first = begin;
    last = end;
  });
  if (first == text.size()) return std::string();
  return std::string(text.substr(first, last - first));
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t pos = 0;
  while ((pos = text.find(from, pos)) != std::string::npos) {
    text.replace(pos, from.size(), to);
    pos += to.size();
  }
}

struct UTextCloser {
  void operator()(UText* t) const { utext_close(t); }
};

std::unique_ptr<icu::BreakIterator> NewClusterIterator() {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getDefault(), status));
  if (U_FAILURE(status)) return nullptr;
  return it;
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
  std::vector<std::string> lines;
  std::size_t piece_start = 0;
  auto take = [&](std::size_t piece_end) {
    std::string line = Trim(text.substr(piece_start, piece_end - piece_start));
    if (!line.empty()) lines.push_back(std::move(line));
  };
  ForEachCodePoint(text, [&](char32_t c, std::size_t begin, std::size_t end) {
    if (!IsLineSeparator(c)) return;
    take(begin);
    piece_start = end;
  });
  take(text.size());
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
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  if (static_cast<std::size_t>(s.length()) <= max_length) return std::string(text);
  if (max_length == 0) return std::string();
  std::int32_t cut = -1;
  if (auto it = NewClusterIterator()) {
    it->setText(s);
    // The last boundary at or before max_length - 1.
    cut = it->preceding(static_cast<std::int32_t>(max_length));
    if (cut == icu::BreakIterator::DONE) cut = -1;
  }
  if (cut < 0) {
    // No break service: cut on a whole code point instead.
    cut = static_cast<std::int32_t>(max_length) - 1;
    if (cut > 0 && U16_IS_TRAIL(s.charAt(cut)) && U16_IS_LEAD(s.charAt(cut - 1))) --cut;
  }
  std::string out;
  s.tempSubString(0, cut).toUTF8String(out);
  return out;
}

std::string TruncateUTF8AtClusterBreak(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UText, UTextCloser> ut(
      utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status));
  std::int32_t cut = -1;
  auto it = NewClusterIterator();
  if (U_SUCCESS(status) && it) {
    it->setText(ut.get(), status);
    // With UTF-8 text the iterator's offsets are byte offsets. It moves an offset inside a
    // character back to that character's start first, so ask from the last character
    // edge that fits.
    std::int32_t edge = 0;
    ForEachCodePoint(text, [&](char32_t, std::size_t, std::size_t end) {
      if (end <= max_bytes) edge = static_cast<std::int32_t>(end);
    });
    if (U_SUCCESS(status)) cut = it->isBoundary(edge) ? edge : it->preceding(edge);
    if (cut == icu::BreakIterator::DONE) cut = -1;
  }
  if (cut < 0) {
    cut = 0;
    ForEachCodePoint(text, [&](char32_t, std::size_t, std::size_t end) {
      if (end <= max_bytes) cut = static_cast<std::int32_t>(end);
    });
  }
  return std::string(text.substr(0, static_cast<std::size_t>(cut)));
}

std::string TrimWhiteSpace(std::string_view text) { return Trim(text); }

std::size_t UTF16Length(std::string_view text) {
  std::size_t units = 0;
  ForEachCodePoint(text, [&](char32_t c, std::size_t, std::size_t) { units += c > 0xFFFF ? 2 : 1; });
  return units;
}

std::string LowercaseText(std::string_view text) {
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  s.toLower(icu::Locale::getRoot());
  std::string out;
  s.toUTF8String(out);
  return out;
}

}  // namespace util
