#pragma once
// Base64 as peers send it (session keys, digest nonces): the standard alphabet with "="
// padding and no line breaks.
//
// Decoding follows the peers' rules rather than a strict reader's: a text shorter than 4
// characters or not a multiple of 4 gives nothing; a character outside the alphabet counts
// as 0 instead of being refused; "=" at the end shortens the last group (a "=" second to
// last counts only with a "=" after it).

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sharing {

std::string Base64Encode(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> Base64Decode(std::string_view text);

}  // namespace sharing
