#include "platform/values/char_set.h"

#include <unicode/uniset.h>
#include <unicode/utf8.h>

namespace values {

namespace {

std::shared_ptr<const icu::UnicodeSet> Frozen(icu::UnicodeSet set) {
  set.freeze();
  return std::make_shared<const icu::UnicodeSet>(std::move(set));
}

std::shared_ptr<const icu::UnicodeSet> FromPattern(const char* pattern) {
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeSet set(icu::UnicodeString(pattern, -1, US_INV), status);
  if (U_FAILURE(status)) return Frozen(icu::UnicodeSet());
  return Frozen(std::move(set));
}

// Calls fn(byte_start, byte_end, code point) for each character; malformed bytes come as
// U+FFFD.
template <typename Fn>
void Walk(std::string_view text, Fn&& fn) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int32_t n = static_cast<int32_t>(text.size());
  int32_t i = 0;
  while (i < n) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(s, i, n, c);
    if (c < 0) c = 0xFFFD;
    if (!fn(static_cast<std::size_t>(start), static_cast<std::size_t>(i), static_cast<char32_t>(c))) return;
  }
}

}  // namespace

CharacterSet::CharacterSet() : set_(Frozen(icu::UnicodeSet())) {}
CharacterSet::CharacterSet(std::shared_ptr<const icu::UnicodeSet> set) : set_(std::move(set)) {}
CharacterSet::~CharacterSet() = default;
CharacterSet::CharacterSet(const CharacterSet&) = default;
CharacterSet& CharacterSet::operator=(const CharacterSet&) = default;
CharacterSet::CharacterSet(CharacterSet&&) noexcept = default;
CharacterSet& CharacterSet::operator=(CharacterSet&&) noexcept = default;

#define TRUVANE_PREDEFINED_SET(name, pattern)                                       \
  CharacterSet CharacterSet::name() {                                               \
    static const std::shared_ptr<const icu::UnicodeSet> set = FromPattern(pattern); \
    return CharacterSet(set);                                                       \
  }

TRUVANE_PREDEFINED_SET(Whitespace, "[\\p{Zs}\\u0009]")
TRUVANE_PREDEFINED_SET(Newlines, "[\\u000A-\\u000D\\u0085\\u2028\\u2029]")
TRUVANE_PREDEFINED_SET(WhitespaceAndNewlines, "[\\p{Zs}\\u0009\\u000A-\\u000D\\u0085\\u2028\\u2029]")
TRUVANE_PREDEFINED_SET(Controls, "[\\p{Cc}\\p{Cf}]")
TRUVANE_PREDEFINED_SET(DecimalDigits, "[\\p{Nd}]")
TRUVANE_PREDEFINED_SET(Letters, "[\\p{L}\\p{M}]")
TRUVANE_PREDEFINED_SET(Alphanumerics, "[\\p{L}\\p{M}\\p{N}]")
TRUVANE_PREDEFINED_SET(Punctuation, "[\\p{P}]")
TRUVANE_PREDEFINED_SET(Symbols, "[\\p{S}]")
TRUVANE_PREDEFINED_SET(Uppercase, "[\\p{Lu}\\p{Lt}]")
TRUVANE_PREDEFINED_SET(Lowercase, "[\\p{Ll}]")

#undef TRUVANE_PREDEFINED_SET

CharacterSet CharacterSet::FromCharacters(std::string_view utf8) {
  return CharacterSet().Adding(utf8);
}

CharacterSet CharacterSet::FromRange(char32_t first, char32_t last) {
  icu::UnicodeSet set;
  if (first <= last && last <= 0x10FFFF) set.add(static_cast<UChar32>(first), static_cast<UChar32>(last));
  return CharacterSet(Frozen(std::move(set)));
}

bool CharacterSet::Contains(char32_t cp) const {
  return cp <= 0x10FFFF && set_->contains(static_cast<UChar32>(cp));
}

bool CharacterSet::IsEmpty() const {
  return set_->isEmpty();
}

CharacterSet CharacterSet::Union(const CharacterSet& other) const {
  icu::UnicodeSet set;
  set.addAll(*set_);  // a copy of a frozen set would be frozen too
  set.addAll(*other.set_);
  return CharacterSet(Frozen(std::move(set)));
}

CharacterSet CharacterSet::Adding(std::string_view utf8_characters) const {
  icu::UnicodeSet set;
  set.addAll(*set_);  // a copy of a frozen set would be frozen too
  Walk(utf8_characters, [&](std::size_t, std::size_t, char32_t c) {
    set.add(static_cast<UChar32>(c));
    return true;
  });
  return CharacterSet(Frozen(std::move(set)));
}

CharacterSet CharacterSet::Inverted() const {
  icu::UnicodeSet set;
  set.addAll(*set_);  // a copy of a frozen set would be frozen too
  set.complement();
  return CharacterSet(Frozen(std::move(set)));
}

std::string DeleteCharacters(std::string_view utf8, const CharacterSet& set) {
  std::string out;
  out.reserve(utf8.size());
  Walk(utf8, [&](std::size_t start, std::size_t end, char32_t c) {
    if (!set.Contains(c)) out.append(utf8.substr(start, end - start));
    return true;
  });
  return out;
}

bool ContainsAnyOf(std::string_view utf8, const CharacterSet& set) {
  bool found = false;
  Walk(utf8, [&](std::size_t, std::size_t, char32_t c) {
    found = set.Contains(c);
    return !found;
  });
  return found;
}

std::string TrimCharacters(std::string_view utf8, const CharacterSet& set) {
  std::size_t first = utf8.size();
  std::size_t last = 0;
  Walk(utf8, [&](std::size_t start, std::size_t end, char32_t c) {
    if (!set.Contains(c)) {
      if (first == utf8.size()) first = start;
      last = end;
    }
    return true;
  });
  if (first >= last) return {};
  return std::string(utf8.substr(first, last - first));
}

std::vector<std::string> SplitAtCharacters(std::string_view utf8, const CharacterSet& set) {
  std::vector<std::string> pieces;
  std::size_t piece_start = 0;
  Walk(utf8, [&](std::size_t start, std::size_t end, char32_t c) {
    if (set.Contains(c)) {
      pieces.emplace_back(utf8.substr(piece_start, start - piece_start));
      piece_start = end;
    }
    return true;
  });
  pieces.emplace_back(utf8.substr(piece_start));
  return pieces;
}

}  // namespace values
