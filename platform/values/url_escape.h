#pragma once
// Percent escaping of URL text.
//
// The characters legal in a URL are those of RFC 2396's "unreserved" and "reserved"
// sets: ASCII letters and digits and
//     ! $ & ' ( ) * + , - . / : ; = ? @ _ ~
// Everything else is not legal: control characters, space, DEL, every non-ASCII
// character, and  " # % < > [ \ ] ^ ` { | }. ("#" and "%" and the brackets may still
// stand unescaped in a URL's text in their own roles - fragment mark, escape, IPv6
// literal - but escaping treats them as characters to escape.)
//
// `PercentEscape` escapes every character that is not legal, except those listed in
// `leaveUnescaped`, and every legal character listed in `forceEscaped`; the other legal
// characters stay as they are. So a set only ever widens or narrows its own side: a
// legal character is never kept out of the escaping by `leaveUnescaped`, and an illegal
// one is escaped whatever `forceEscaped` says. An escaped character becomes one "%XX"
// (upper-case hex) per byte of the character in the chosen encoding. Text that holds
// "%41" already comes out as "%2541": escaping is not idempotent, callers that want
// that collapse the doubled escapes themselves.
//
// `PercentUnescape` replaces each "%XX" by the character the bytes decode to. Runs of
// adjacent escapes are decoded together, so "%C3%A9" is one "é" in UTF-8. A character
// listed in `leaveEscaped` keeps the escape text it had (case included). There is no
// value when a "%" is not followed by two hex digits, or when the escaped bytes do not
// decode in the encoding (invalid UTF-8, or the five bytes Windows-1252 leaves undefined).
//
// Sets are UTF-8 strings whose characters (code points) form the set.

#include <optional>
#include <string>
#include <string_view>

namespace values {

// The encodings that escapes may stand for. ISO Latin-1 maps every byte; Windows-1252
// differs from it in 0x80-0x9F (the euro sign, typographic quotes, ...).
enum class EscapeEncoding : unsigned char { kUtf8, kIsoLatin1, kWindowsLatin1 };

// True for the characters listed above as legal in a URL.
bool IsUrlLegalCharacter(char32_t c);

// No value when `text` is not valid UTF-8 or holds a character that must be escaped but
// has no representation in `encoding` (e.g. "€" in ISO Latin-1).
std::optional<std::string> PercentEscape(std::string_view text, std::string_view leaveUnescaped = {},
                                         std::string_view forceEscaped = {},
                                         EscapeEncoding encoding = EscapeEncoding::kUtf8);

// Unescapes every escape whose character is not in `leaveEscaped`. Unescaped text passes
// through unchanged (it is taken to be UTF-8 already).
std::optional<std::string> PercentUnescape(std::string_view text, std::string_view leaveEscaped = {},
                                           EscapeEncoding encoding = EscapeEncoding::kUtf8);

}  // namespace values
