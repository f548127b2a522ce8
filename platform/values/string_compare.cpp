#include "platform/values/string_compare.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace values {

namespace {

// One character of the original text and where its transformed units sit in the key.
struct SourceChar {
  std::size_t u16_start;
  std::size_t u16_end;
  std::size_t u8_start;
  std::size_t u8_end;
  std::size_t key_start;
  std::size_t key_end;
  bool is_mark;  // a combining mark (canonical combining class above 0, or Mn/Me)
};

// The text as the options see it: `units` are compared; `chars` lead back to the text.
struct Key {
  std::u16string units;
  std::vector<SourceChar> chars;
};

bool IsMark(UChar32 c) {
  const int8_t type = u_charType(c);
  return type == U_NON_SPACING_MARK || type == U_ENCLOSING_MARK || u_getCombiningClass(c) != 0;
}

void AppendTransformed(std::u16string& out, UChar32 c, CompareOptions options) {
  if (c < 0x80) {
    char16_t u = static_cast<char16_t>(c);
    if ((options & kCaseInsensitive) && u >= 'A' && u <= 'Z') u = static_cast<char16_t>(u + ('a' - 'A'));
    out.push_back(u);
    return;
  }
  icu::UnicodeString s(c);
  if (options & (kNonliteral | kDiacriticInsensitive)) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed;
    if (U_SUCCESS(status) && nfd->getDecomposition(c, decomposed)) s = decomposed;
  }
  if (options & kDiacriticInsensitive) {
    icu::UnicodeString kept;
    for (int32_t i = 0; i < s.length();) {
      const UChar32 d = s.char32At(i);
      if (u_charType(d) != U_NON_SPACING_MARK) kept.append(d);
      i += U16_LENGTH(d);
    }
    s = kept;
  }
  if (options & kCaseInsensitive) s.foldCase(U_FOLD_CASE_DEFAULT);
  out.append(reinterpret_cast<const char16_t*>(s.getBuffer()), static_cast<std::size_t>(s.length()));
}

Key MakeKey(std::string_view text, CompareOptions options, bool with_chars) {
  Key key;
  key.units.reserve(text.size());
  if (with_chars) key.chars.reserve(text.size());
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t n = static_cast<int32_t>(text.size());
  int32_t i = 0;
  std::size_t u16 = 0;
  while (i < n) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, n, c);
    if (c < 0) c = 0xFFFD;
    const std::size_t key_start = key.units.size();
    AppendTransformed(key.units, c, options);
    const std::size_t units = U16_LENGTH(c);
    if (with_chars) {
      key.chars.push_back({u16, u16 + units, static_cast<std::size_t>(start), static_cast<std::size_t>(i),
                           key_start, key.units.size(), c >= 0x80 && IsMark(c)});
    }
    u16 += units;
  }
  return key;
}

int DigitValue(char16_t u) {
  if (u >= '0' && u <= '9') return u - '0';
  if (u < 0x80 || U16_IS_SURROGATE(u)) return -1;
  return u_charDigitValue(u);  // -1 for non-digits
}

ComparisonResult Order(long long difference) {
  if (difference < 0) return ComparisonResult::kLessThan;
  if (difference > 0) return ComparisonResult::kGreaterThan;
  return ComparisonResult::kEqualTo;
}

ComparisonResult CompareUnits(std::u16string_view a, std::u16string_view b, bool numeric) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (numeric && DigitValue(a[i]) >= 0 && DigitValue(b[j]) >= 0) {
      // Compare two digit runs by value: skip leading zeros, then the longer run of
      // significant digits is the larger number, else the first differing digit decides.
      auto significant = [](std::u16string_view s, std::size_t& pos) {
        while (pos < s.size() && DigitValue(s[pos]) == 0) ++pos;
        const std::size_t first = pos;
        while (pos < s.size() && DigitValue(s[pos]) >= 0) ++pos;
        return s.substr(first, pos - first);
      };
      const std::u16string_view da = significant(a, i);
      const std::u16string_view db = significant(b, j);
      if (da.size() != db.size())
        return Order(static_cast<long long>(da.size()) - static_cast<long long>(db.size()));
      for (std::size_t k = 0; k < da.size(); ++k) {
        const int diff = DigitValue(da[k]) - DigitValue(db[k]);
        if (diff != 0) return Order(diff);
      }
      continue;
    }
    if (a[i] != b[j]) return Order(static_cast<long long>(a[i]) - static_cast<long long>(b[j]));
    ++i;
    ++j;
  }
  return Order(static_cast<long long>(a.size() - i) - static_cast<long long>(b.size() - j));
}

struct CharMatch {
  std::size_t first_char;
  std::size_t end_char;  // one past the last character of the match
};

// Searches the needle's key among the characters [window_begin, window_end) of `text`.
std::optional<CharMatch> FindInKey(const Key& text, const std::u16string& needle, std::size_t window_begin,
                                   std::size_t window_end, CompareOptions options) {
  if (needle.empty() || window_begin >= window_end) return std::nullopt;
  const bool backwards = options & kBackwards;
  const bool anchored = options & kAnchored;
  const bool marks_ignored = options & kDiacriticInsensitive;
  const bool marks_bind = options & (kNonliteral | kDiacriticInsensitive);

  // Tries a match whose first character is `c`; returns one past its last character.
  auto try_at = [&](std::size_t c) -> std::optional<std::size_t> {
    const std::size_t key_begin = text.chars[c].key_start;
    if (text.chars[c].key_end == key_begin) return std::nullopt;  // an ignored mark cannot start a match
    std::size_t key_end = key_begin + needle.size();
    if (key_end > text.chars[window_end - 1].key_end) return std::nullopt;
    if (std::u16string_view(text.units).substr(key_begin, needle.size()) != needle) return std::nullopt;
    // The match must end on a character's last unit.
    std::size_t end = c;
    while (end < window_end && text.chars[end].key_end <= key_end) ++end;
    if (text.chars[end - 1].key_end != key_end) return std::nullopt;
    // Marks that the options ignore belong to the character in front of them.
    if (marks_ignored) {
      while (end < window_end && text.chars[end].key_start == text.chars[end].key_end) ++end;
    }
    if (marks_bind && end < text.chars.size() && text.chars[end].is_mark) return std::nullopt;
    return end;
  };

  if (!backwards) {
    for (std::size_t c = window_begin; c < window_end; ++c) {
      if (auto end = try_at(c)) return CharMatch{c, *end};
      if (anchored && text.chars[c].key_end != text.chars[c].key_start) break;
    }
    return std::nullopt;
  }
  for (std::size_t c = window_end; c-- > window_begin;) {
    if (auto end = try_at(c)) {
      if (anchored && *end != window_end) continue;
      return CharMatch{c, *end};
    }
  }
  return std::nullopt;
}

// The characters of `key` that lie wholly inside a UTF-16 range.
std::pair<std::size_t, std::size_t> CharWindow(const Key& key, Utf16Range within) {
  std::size_t begin = 0;
  while (begin < key.chars.size() && key.chars[begin].u16_start < within.location) ++begin;
  std::size_t end = begin;
  while (end < key.chars.size() && key.chars[end].u16_end <= within.End()) ++end;
  return {begin, end};
}

Utf16Range RangeOf(const Key& key, CharMatch m) {
  const std::size_t start = key.chars[m.first_char].u16_start;
  return {start, key.chars[m.end_char - 1].u16_end - start};
}

}  // namespace

ComparisonResult CompareStrings(std::string_view a, std::string_view b, CompareOptions options) {
  if (options == 0 || options == kBackwards || options == kAnchored) {
    // Literal: UTF-16 unit order. Byte order of UTF-8 differs only for characters at and
    // above U+E000 against those above U+FFFF, so compare the units.
    const std::u16string ua = ToUtf16(a);
    const std::u16string ub = ToUtf16(b);
    return CompareUnits(ua, ub, false);
  }
  const Key ka = MakeKey(a, options, false);
  const Key kb = MakeKey(b, options, false);
  return CompareUnits(ka.units, kb.units, options & kNumeric);
}

std::optional<Utf16Range> FindString(std::string_view text, std::string_view needle, Utf16Range within,
                                     CompareOptions options) {
  const Key key = MakeKey(text, options, true);
  const Key n = MakeKey(needle, options, false);
  const auto [begin, end] = CharWindow(key, within);
  const auto match = FindInKey(key, n.units, begin, end, options);
  if (!match) return std::nullopt;
  return RangeOf(key, *match);
}

std::optional<Utf16Range> FindString(std::string_view text, std::string_view needle, CompareOptions options) {
  return FindString(text, needle, Utf16Range{0, SIZE_MAX / 2}, options);
}

namespace {

std::vector<CharMatch> FindAllMatches(const Key& key, const std::u16string& needle, CompareOptions options) {
  std::vector<CharMatch> matches;
  options &= ~(kBackwards | kAnchored);
  std::size_t from = 0;
  while (from < key.chars.size()) {
    auto m = FindInKey(key, needle, from, key.chars.size(), options);
    if (!m) break;
    matches.push_back(*m);
    from = m->end_char;
  }
  return matches;
}

}  // namespace

std::vector<Utf16Range> FindAllStrings(std::string_view text, std::string_view needle,
                                       CompareOptions options) {
  const Key key = MakeKey(text, options, true);
  const Key n = MakeKey(needle, options, false);
  std::vector<Utf16Range> ranges;
  for (const CharMatch& m : FindAllMatches(key, n.units, options)) ranges.push_back(RangeOf(key, m));
  return ranges;
}

bool HasPrefix(std::string_view text, std::string_view prefix, CompareOptions options) {
  return FindString(text, prefix, (options | kAnchored) & ~kBackwards).has_value();
}

bool HasSuffix(std::string_view text, std::string_view suffix, CompareOptions options) {
  return FindString(text, suffix, options | kAnchored | kBackwards).has_value();
}

std::size_t ReplaceAll(std::string& text, std::string_view target, std::string_view replacement,
                       CompareOptions options) {
  const Key key = MakeKey(text, options, true);
  const Key n = MakeKey(target, options, false);
  const std::vector<CharMatch> matches = FindAllMatches(key, n.units, options);
  if (matches.empty()) return 0;
  std::string out;
  out.reserve(text.size() + matches.size() * replacement.size());
  std::size_t copied = 0;
  for (const CharMatch& m : matches) {
    const std::size_t start = key.chars[m.first_char].u8_start;
    out.append(text, copied, start - copied);
    out.append(replacement);
    copied = key.chars[m.end_char - 1].u8_end;
  }
  out.append(text, copied, std::string::npos);
  text = std::move(out);
  return matches.size();
}

}  // namespace values
