#pragma once
// Sets of Unicode characters, with the platform's predefined sets:
//   Whitespace           general category Zs plus TAB (U+0009)
//   Newlines             U+000A-U+000D, U+0085, U+2028, U+2029
//   WhitespaceAndNewlines  the union of the two
//   Controls             general categories Cc and Cf
//   DecimalDigits        Nd
//   Letters              L* and M*
//   Alphanumerics        L*, M* and N*
//   Punctuation          P*
//   Symbols              S*
//   Uppercase / Lowercase  Lu and Lt / Ll
// A set is immutable once built and may be shared between threads; the builders return
// new sets.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/uversion.h>

U_NAMESPACE_BEGIN
class UnicodeSet;
U_NAMESPACE_END

namespace values {

class CharacterSet {
 public:
  static CharacterSet Whitespace();
  static CharacterSet Newlines();
  static CharacterSet WhitespaceAndNewlines();
  static CharacterSet Controls();
  static CharacterSet DecimalDigits();
  static CharacterSet Letters();
  static CharacterSet Alphanumerics();
  static CharacterSet Punctuation();
  static CharacterSet Symbols();
  static CharacterSet Uppercase();
  static CharacterSet Lowercase();
  // Every character of a UTF-8 string.
  static CharacterSet FromCharacters(std::string_view utf8);
  // Inclusive range of code points.
  static CharacterSet FromRange(char32_t first, char32_t last);

  CharacterSet();  // empty
  ~CharacterSet();
  CharacterSet(const CharacterSet&);
  CharacterSet& operator=(const CharacterSet&);
  CharacterSet(CharacterSet&&) noexcept;
  CharacterSet& operator=(CharacterSet&&) noexcept;

  bool Contains(char32_t cp) const;
  bool IsEmpty() const;

  CharacterSet Union(const CharacterSet& other) const;
  CharacterSet Adding(std::string_view utf8_characters) const;
  CharacterSet Inverted() const;

 private:
  explicit CharacterSet(std::shared_ptr<const icu::UnicodeSet> set);
  std::shared_ptr<const icu::UnicodeSet> set_;
};

// The text with every character of the set removed.
std::string DeleteCharacters(std::string_view utf8, const CharacterSet& set);

// Whether any character of the text is in the set.
bool ContainsAnyOf(std::string_view utf8, const CharacterSet& set);

// The text without the characters of the set at both ends.
std::string TrimCharacters(std::string_view utf8, const CharacterSet& set);

// The text split at every character of the set (separators dropped, empty pieces kept).
std::vector<std::string> SplitAtCharacters(std::string_view utf8, const CharacterSet& set);

}  // namespace values
