#include "app/engine/task/resume_file.h"

#include <charconv>
#include <limits>
#include <span>
#include <vector>

namespace engine {
namespace {

// A done list of a real download has a few hundred ranges at most; a larger file is
// damaged or hostile, and only its beginning is worth reading.
constexpr std::size_t kMaxRangesFileBytes = 16 * 1024 * 1024;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// One signed decimal number filling `s` exactly.
std::optional<std::int64_t> ParseNumber(std::string_view s) {
  s = TrimBlanks(s);
  if (s.empty()) return std::nullopt;
  std::int64_t v = 0;
  const char* begin = s.data();
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(begin, end, v);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return v;
}

std::optional<LongRange> ParseLine(std::string_view line) {
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  auto location = ParseNumber(line.substr(0, comma));
  auto length = ParseNumber(line.substr(comma + 1));
  if (!location || !length) return std::nullopt;
  return LongRange{*location, *length};
}

}  // namespace

std::string FormatRangesFile(const RangeList& done) {
  std::string text;
  text.reserve(done.size() * 32);
  for (const LongRange& r : done) {
    text += std::to_string(r.location);
    text += ',';
    text += std::to_string(r.length);
    text += '\n';
  }
  return text;
}

namespace {

// The ranges of `text` merged into `list`; the number of lines taken, and in `stoppedAt`
// the offset of the first line that is not a range (the text's size when there is none).
std::size_t ParseRanges(std::string_view text, std::int64_t totalSize, RangeList& list,
                        std::size_t& stoppedAt) {
  // Gathered first and normalised once: merging line by line costs a shift of the list per
  // line, hours for a long file in reverse order.
  RangeList read = list;
  std::size_t taken = 0;
  std::size_t pos = 0;
  stoppedAt = text.size();
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    const std::string_view line =
        text.substr(pos, lf == std::string_view::npos ? std::string_view::npos : lf - pos);
    const std::optional<LongRange> parsed = ParseLine(line);
    if (!parsed) {
      stoppedAt = pos;
      break;
    }
    ++taken;
    LongRange r = *parsed;
    const bool usable =
        r.location >= 0 && r.length > 0 && r.length <= std::numeric_limits<std::int64_t>::max() - r.location;
    if (usable && totalSize >= 0) {
      if (r.location >= totalSize) {
        r.length = 0;
      } else if (r.End() > totalSize) {
        r.length = totalSize - r.location;
      }
    }
    if (usable && r.length > 0) read.push_back(r);
    if (lf == std::string_view::npos) break;
    pos = lf + 1;
  }
  NormalizeRangeList(read);
  list = std::move(read);
  return taken;
}

}  // namespace

std::size_t ParseRangesFile(std::string_view text, std::int64_t totalSize, RangeList& list) {
  std::size_t stoppedAt = 0;
  return ParseRanges(text, totalSize, list, stoppedAt);
}

files::Status WriteRangesFile(const files::FileHandle& file, const RangeList& done) {
  const std::string text = FormatRangesFile(done);
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  if (files::Status s = file.WriteAt(0, bytes); !s.ok()) return s;
  return file.Truncate(text.size());
}

files::Status ReadRangesFile(const files::FileRef& file, std::int64_t totalSize, RangeList& list,
                             std::string* damage) {
  auto handle = files::FileHandle::Open(file, files::kOpenRead);
  if (!handle.ok()) return handle.status();
  std::vector<std::uint8_t> buffer;
  std::uint64_t offset = 0;
  while (buffer.size() < kMaxRangesFileBytes) {
    const std::size_t old = buffer.size();
    buffer.resize(std::min(kMaxRangesFileBytes, old + 64 * 1024));
    auto n = handle->ReadAt(offset, std::span(buffer).subspan(old));
    if (!n.ok()) return n.status();
    buffer.resize(old + *n);
    offset += *n;
    if (*n == 0) break;
  }
  std::string_view text(reinterpret_cast<const char*>(buffer.data()), buffer.size());
  if (buffer.size() >= kMaxRangesFileBytes) {
    // Cut at the last whole line so a line split by the cap is not read as a short one.
    const std::size_t lf = text.rfind('\n');
    text = lf == std::string_view::npos ? std::string_view() : text.substr(0, lf + 1);
  }
  std::size_t stoppedAt = 0;
  const std::size_t taken = ParseRanges(text, totalSize, list, stoppedAt);
  if (damage != nullptr && stoppedAt < text.size()) {
    *damage = "line " + std::to_string(taken + 1) + " is not a received range; the " +
              std::to_string(text.size() - stoppedAt) + " bytes from there on were ignored";
  }
  return files::Status();
}

}  // namespace engine
