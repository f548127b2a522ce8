#pragma once
// Text helpers shared by the two property-list encodings (not a public interface).

#include <optional>
#include <string>
#include <string_view>

namespace values::plist_text {

// Strict: refuses overlong forms, surrogates and truncated sequences.
bool IsValidUtf8(std::string_view s);

// UTF-8 (valid) to UTF-16 code units; nothing when `s` is not valid UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view s);

// UTF-16 to UTF-8. Unpaired surrogates, which UTF-8 cannot carry, become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);

// The order of dictionary keys in written files: by UTF-16 code units, which differs from
// byte order only between U+E000..U+FFFF and characters beyond U+FFFF.
bool Utf16Less(std::string_view a, std::string_view b);

}  // namespace values::plist_text
