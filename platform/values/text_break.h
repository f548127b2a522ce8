#pragma once
// Character-cluster boundaries ("grapheme clusters": a base letter with its combining
// marks, a surrogate pair, an emoji with its modifiers and joiners), found with ICU's
// break iterator in the root locale. Names that must fit a length limit are cut on such
// a boundary so that no character is split and no accent is torn from its letter.
// Offsets are UTF-16 units (see utf16.h) unless a name says bytes.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace values {

// The largest cluster boundary at or before `utf16_offset` (0 and the text's length are
// boundaries). An offset past the end gives the length. nullopt only when the break
// service cannot be opened.
std::optional<std::size_t> ClusterBoundaryAtOrBefore(std::string_view utf8, std::size_t utf16_offset);

// The longest prefix of at most `max_utf16` units that ends on a cluster boundary.
// Should the break service fail, the cut falls on a code-point boundary instead.
std::string TruncateAtClusterBoundary(std::string_view utf8, std::size_t max_utf16);

// The same with the limit counted in UTF-8 bytes (file names on Linux are limited in bytes).
std::string TruncateUtf8BytesAtClusterBoundary(std::string_view utf8, std::size_t max_bytes);

}  // namespace values
