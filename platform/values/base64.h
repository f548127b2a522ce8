#pragma once
// Base64 in the standard alphabet with '=' padding (RFC 4648, section 4), as property
// lists, HTTP Basic authentication and stored secrets use it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/values/value.h"

namespace values {

// One line, no breaks, always padded to a multiple of four characters.
std::string EncodeBase64(std::span<const std::uint8_t> bytes);
std::string EncodeBase64(std::string_view bytes);

// Decodes `text`, skipping ASCII white space anywhere (property lists and mail break
// the text into indented lines). The final '=' padding may be left out. Returns nothing
// for any other character, a lone trailing character, or text after the padding.
std::optional<Bytes> DecodeBase64(std::string_view text);

}  // namespace values
