#include "platform/values/text_break.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <memory>

#include "platform/values/utf16.h"

namespace values {

namespace {

// A character break iterator over the text; nullptr when ICU cannot make one.
std::unique_ptr<icu::BreakIterator> ClusterIterator(const icu::UnicodeString& text) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> it(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !it) return nullptr;
  it->setText(text);
  return it;
}

icu::UnicodeString ToIcu(std::string_view utf8) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

}  // namespace

std::optional<std::size_t> ClusterBoundaryAtOrBefore(std::string_view utf8, std::size_t utf16_offset) {
  const icu::UnicodeString text = ToIcu(utf8);
  const auto length = static_cast<std::size_t>(text.length());
  if (utf16_offset >= length) return length;
  auto it = ClusterIterator(text);
  if (!it) return std::nullopt;
  // The boundary before the first one after the offset. (preceding() would first move an
  // offset that falls inside a surrogate pair back to the pair's start and so skip the
  // boundary there.)
  it->following(static_cast<int32_t>(utf16_offset));
  const int32_t before = it->previous();
  return before == icu::BreakIterator::DONE ? 0 : static_cast<std::size_t>(before);
}

std::string TruncateAtClusterBoundary(std::string_view utf8, std::size_t max_utf16) {
  if (Utf16Length(utf8) <= max_utf16) return SanitizeUtf8(utf8);
  if (auto boundary = ClusterBoundaryAtOrBefore(utf8, max_utf16)) return Utf16Substring(utf8, 0, *boundary);
  return Utf16Substring(utf8, 0, max_utf16);  // never cuts a surrogate pair
}

std::string TruncateUtf8BytesAtClusterBoundary(std::string_view utf8, std::size_t max_bytes) {
  const std::string text = SanitizeUtf8(utf8);
  if (text.size() <= max_bytes) return text;
  // The UTF-16 offset of the last whole character within the byte limit, then back to a
  // cluster boundary.
  const std::size_t units = Utf16OffsetFromUtf8(text, max_bytes);
  return TruncateAtClusterBoundary(text, units);
}

}  // namespace values
