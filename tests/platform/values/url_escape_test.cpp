#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/values/url.h"
#include "platform/values/url_escape.h"

using values::EscapeEncoding;
using values::PercentEscape;
using values::PercentUnescape;

namespace {

constexpr auto kUtf8 = EscapeEncoding::kUtf8;
constexpr auto kLatin1 = EscapeEncoding::kIsoLatin1;
constexpr auto kCp1252 = EscapeEncoding::kWindowsLatin1;

struct EscapeCase {
  const char* text;
  const char* leave;
  const char* force;
  EscapeEncoding encoding;
  std::optional<std::string> expected;
};

// clang-format off
const EscapeCase kEscapeCases[] = {
  // Legal characters stay, all others are escaped, with upper-case hex.
  {"!$&'()*+,-./:;=?@_~AZaz09", "", "", kUtf8, "!$&'()*+,-./:;=?@_~AZaz09"},
  {" \"#%<>[\\]^`{|}", "", "", kUtf8, "%20%22%23%25%3C%3E%5B%5C%5D%5E%60%7B%7C%7D"},
  {"\t\n\r\x7f", "", "", kUtf8, "%09%0A%0D%7F"},
  {"100%", "", "", kUtf8, "100%25"},
  {"%41", "", "", kUtf8, "%2541"},  // escaping is not idempotent
  // Leave set: only characters that would be escaped.
  {"a b#c{d}", "#{}", "", kUtf8, "a%20b#c{d}"},
  {"caf\xC3\xA9", "\xC3\xA9", "", kUtf8, "caf\xC3\xA9"},
  // Force set: legal characters escaped as well.
  {"us@r:pa/ss", "", "@:", kUtf8, "us%40r%3Apa/ss"},
  {"a/b?c;d", "", ";?/", kUtf8, "a%2Fb%3Fc%3Bd"},
  {"@", "@", "@", kUtf8, "%40"},   // legal: the force set decides
  {" ", " ", " ", kUtf8, " "},     // illegal: the leave set decides
  // Encodings.
  {"caf\xC3\xA9", "", "", kUtf8, "caf%C3%A9"},
  {"caf\xC3\xA9", "", "", kLatin1, "caf%E9"},
  {"caf\xC3\xA9", "", "", kCp1252, "caf%E9"},
  {"\xE2\x82\xAC", "", "", kUtf8, "%E2%82%AC"},
  {"\xE2\x82\xAC", "", "", kCp1252, "%80"},
  {"\xE2\x80\x9Cq\xE2\x80\x9D", "", "", kCp1252, "%93q%94"},
  {"\xE2\x82\xAC", "", "", kLatin1, std::nullopt},   // no euro sign in Latin-1
  {"\xC2\x81", "", "", kCp1252, std::nullopt},       // U+0081 has no Windows-1252 byte
  {"\xC2\x81", "", "", kLatin1, "%81"},
  {"\xF0\x9F\x98\x80", "", "", kUtf8, "%F0%9F%98%80"},
  // Input that is not UTF-8.
  {"caf\xE9", "", "", kUtf8, std::nullopt},
  {"\xC0\xAF", "", "", kUtf8, std::nullopt},         // overlong "/"
  {"", "", "", kUtf8, ""},
};
// clang-format on

TEST(PercentEscape, Table) {
  for (const auto& c : kEscapeCases) {
    SCOPED_TRACE(std::string(c.text) + " leave=" + c.leave + " force=" + c.force);
    EXPECT_EQ(PercentEscape(c.text, c.leave, c.force, c.encoding), c.expected);
  }
}

struct UnescapeCase {
  const char* text;
  const char* leave;
  EscapeEncoding encoding;
  std::optional<std::string> expected;
};

// clang-format off
const UnescapeCase kUnescapeCases[] = {
  {"a%20b%41%42", "", kUtf8, "a bAB"},
  {"%25", "", kUtf8, "%"},
  {"%2541", "", kUtf8, "%41"},          // one pass only
  {"caf%C3%A9", "", kUtf8, "caf\xC3\xA9"},
  {"caf%c3%a9", "", kUtf8, "caf\xC3\xA9"},
  {"%F0%9F%98%80", "", kUtf8, "\xF0\x9F\x98\x80"},
  {"caf\xC3\xA9 raw", "", kUtf8, "caf\xC3\xA9 raw"},  // unescaped text passes through
  {"no escapes", "", kUtf8, "no escapes"},
  // Leave set: the escape text is kept as it was written.
  {"a%2Fb%2fc%20", "/", kUtf8, "a%2Fb%2fc "},
  {"%3A%2F%3F%23", ":/?", kUtf8, "%3A%2F%3F#"},
  {"caf%C3%A9%C3%A8", "\xC3\xA9", kUtf8, "caf%C3%A9\xC3\xA8"},
  // Escapes that do not decode.
  {"caf%E9", "", kUtf8, std::nullopt},
  {"%C3", "", kUtf8, std::nullopt},
  {"%C3x", "", kUtf8, std::nullopt},     // a character may not be split between escape and raw byte
  {"%C0%AF", "", kUtf8, std::nullopt},   // overlong
  {"%ED%A0%80", "", kUtf8, std::nullopt},  // surrogate
  // Malformed escapes.
  {"%", "", kUtf8, std::nullopt},
  {"a%4", "", kUtf8, std::nullopt},
  {"%zz", "", kUtf8, std::nullopt},
  {"%%41", "", kUtf8, std::nullopt},
  // Single-byte encodings.
  {"caf%E9", "", kLatin1, "caf\xC3\xA9"},
  {"%80%81", "", kLatin1, "\xC2\x80\xC2\x81"},
  {"%80", "", kCp1252, "\xE2\x82\xAC"},
  {"%E9%93", "", kCp1252, "\xC3\xA9\xE2\x80\x9C"},
  {"%81", "", kCp1252, std::nullopt},    // undefined in Windows-1252
  {"%C3%A9", "", kLatin1, "\xC3\x83\xC2\xA9"},
};
// clang-format on

TEST(PercentUnescape, Table) {
  for (const auto& c : kUnescapeCases) {
    SCOPED_TRACE(std::string(c.text) + " leave=" + c.leave);
    EXPECT_EQ(PercentUnescape(c.text, c.leave, c.encoding), c.expected);
  }
}

TEST(PercentEscape, RoundTripsThroughUnescapeAndMakesLegalUrlText) {
  for (const char* text : {"a b/c?d#e%f", "caf\xC3\xA9 \xE2\x82\xAC", "<>\"{}|\\^`[]", "\x01\x1f"}) {
    SCOPED_TRACE(text);
    const auto escaped = PercentEscape(text);
    ASSERT_TRUE(escaped);
    EXPECT_TRUE(values::Url::Create(*escaped).has_value()) << *escaped;
    EXPECT_EQ(PercentUnescape(*escaped), text);
  }
  const auto latin = PercentEscape("\xC3\xA9t\xC3\xA9", {}, {}, kLatin1);
  ASSERT_TRUE(latin);
  EXPECT_EQ(PercentUnescape(*latin, {}, kLatin1), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(PercentUnescape(*latin, {}, kUtf8), std::nullopt);
}

TEST(PercentEscape, LegalCharacterSet) {
  std::string legal;
  for (char32_t c = 0; c < 0x80; ++c) {
    if (values::IsUrlLegalCharacter(c)) legal += static_cast<char>(c);
  }
  EXPECT_EQ(legal, "!$&'()*+,-./0123456789:;=?@ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz~");
  EXPECT_FALSE(values::IsUrlLegalCharacter(0xE9));
  EXPECT_FALSE(values::IsUrlLegalCharacter(0x20AC));
}

}  // namespace
