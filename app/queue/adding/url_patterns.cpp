#include "app/queue/adding/url_patterns.h"

#include <regex.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace queue {
namespace {

// One compiled extended POSIX expression.
class Regex {
 public:
  explicit Regex(const char* pattern) { ok_ = regcomp(&re_, pattern, REG_EXTENDED) == 0; }
  ~Regex() {
    if (ok_) regfree(&re_);
  }
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // Groups 1 and 2 of the first match in `text`; false when there is none.
  bool Match(const std::string& text, std::string_view& group1, std::string_view& group2) const {
    regmatch_t m[3];
    if (!ok_ || regexec(&re_, text.c_str(), 3, m, 0) != 0) return false;
    group1 = std::string_view(text).substr(m[1].rm_so, m[1].rm_eo - m[1].rm_so);
    group2 = std::string_view(text).substr(m[2].rm_so, m[2].rm_eo - m[2].rm_so);
    return true;
  }

 private:
  regex_t re_{};
  bool ok_ = false;
};

enum class Step { kOk, kTooMany, kBoundTooLarge };

class Expander {
 public:
  explicit Expander(ExpandedURLs& out) : out_(out) {}

  Step Expand(const std::string& topLevel, const std::string& text) {
    std::vector<std::string> formed;
    Step step = Form(text, formed);
    if (step != Step::kOk) return step;
    if (formed.empty()) {
      if (out_.urls.size() >= kMaxExpandedURLs) return Step::kTooMany;
      out_.urls.push_back(text);
      out_.subfolders.push_back(CopyPatternPathComponent(topLevel, text));
      return Step::kOk;
    }
    for (const std::string& piece : formed) {
      step = Expand(topLevel, piece);
      if (step != Step::kOk) return step;
    }
    return Step::kOk;
  }

 private:
  // The strings one pattern of `text` stands for (the first brace group, else the first
  // bracket range); none when the text holds no pattern that forms anything.
  Step Form(const std::string& text, std::vector<std::string>& formed) {
    const std::size_t open = text.find('{');
    if (open != std::string::npos) {
      const std::size_t close = text.find('}', open + 1);
      if (close == std::string::npos) return Step::kOk;
      const std::string prefix = text.substr(0, open);
      const std::string suffix = text.substr(close + 1);
      const std::string_view inner = std::string_view(text).substr(open + 1, close - open - 1);
      std::size_t start = 0;
      for (;;) {
        const std::size_t comma = inner.find(',', start);
        const std::string_view alt =
            inner.substr(start, comma == std::string_view::npos ? inner.npos : comma - start);
        if (!Room(formed.size() + 1)) return Step::kTooMany;
        formed.push_back(prefix + std::string(alt) + suffix);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
      }
      return Step::kOk;
    }

    const std::size_t openBracket = text.find('[');
    if (openBracket == std::string::npos) return Step::kOk;
    const std::size_t closeBracket = text.find(']', openBracket + 1);
    if (closeBracket == std::string::npos) return Step::kOk;
    const std::string prefix = text.substr(0, openBracket);
    const std::string suffix = text.substr(closeBracket + 1);
    const std::string inner = text.substr(openBracket + 1, closeBracket - openBracket - 1);

    std::string_view g1, g2;
    if (numeric_.Match(inner, g1, g2)) {
      std::int64_t first = 0;
      std::int64_t last = 0;
      if (!ParseBound(g1, first) || !ParseBound(g2, last)) return Step::kBoundTooLarge;
      const int width = static_cast<int>(g1.size());
      if (first >= 0 && first < last) {
        if (!Room(static_cast<std::size_t>(last - first + 1))) return Step::kTooMany;
        for (std::int64_t n = first; n <= last; ++n) {
          std::string number = std::to_string(n);
          if (number.size() < static_cast<std::size_t>(width)) number.insert(0, width - number.size(), '0');
          formed.push_back(prefix + number + suffix);
        }
      }
      return Step::kOk;
    }
    if (letters_.Match(inner, g1, g2)) {
      // Only single ASCII letters make a range: the expression matches one character, and
      // in a multi-byte locale that may be a letter outside ASCII.
      if (g1.size() != 1 || g2.size() != 1) return Step::kOk;
      const int first = static_cast<unsigned char>(g1[0]);
      const int last = static_cast<unsigned char>(g2[0]);
      if (first < last && last < 0x80) {
        if (!Room(static_cast<std::size_t>(last - first + 1))) return Step::kTooMany;
        for (int c = first; c <= last; ++c) formed.push_back(prefix + static_cast<char>(c) + suffix);
      }
    }
    return Step::kOk;
  }

  // Every formed string yields at least one result, so more formed strings than results
  // still allowed can never succeed.
  bool Room(std::size_t count) const { return count <= kMaxExpandedURLs - out_.urls.size(); }

  // A decimal bound that fits a 32-bit signed number (the empty text is 0).
  static bool ParseBound(std::string_view digits, std::int64_t& out) {
    out = 0;
    if (digits.empty()) return true;
    const auto nonZero = digits.find_first_not_of('0');
    if (nonZero == std::string_view::npos) return true;
    digits.remove_prefix(nonZero);
    if (digits.size() > 10) return false;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    return ec == std::errc() && out <= std::numeric_limits<std::int32_t>::max();
  }

  ExpandedURLs& out_;
  Regex numeric_{"([[:digit:]]*)-([[:digit:]]+)"};
  Regex letters_{"([[:alpha:]])-([[:alpha:]])"};
};

}  // namespace

ExpandedURLs ExpandURLPatterns(const std::vector<std::string>& patterns) {
  ExpandedURLs result;
  Expander expander(result);
  for (const std::string& pattern : patterns) {
    const Step step = expander.Expand(pattern, pattern);
    if (step == Step::kOk) continue;
    result.urls.clear();
    result.subfolders.clear();
    if (step == Step::kTooMany) {
      result.error = "The URL patterns stand for more than " + std::to_string(kMaxExpandedURLs) +
                     " downloads. Narrow the ranges and try again.";
    } else {
      result.error = "A number range in the URL patterns is too large. Narrow the ranges and try again.";
    }
    return result;
  }
  return result;
}

std::optional<std::string> CopyPatternPathComponent(std::string_view topLevel, std::string_view expanded) {
  const std::size_t start = std::min(topLevel.find('['), topLevel.find('{'));
  if (start == std::string_view::npos) return std::nullopt;
  if (topLevel.find('/', start) == std::string_view::npos) return std::nullopt;  // in the file name
  const std::size_t before = topLevel.rfind('/', start);
  if (before == std::string_view::npos) return std::nullopt;
  const std::size_t after = expanded.rfind('/');
  if (after == std::string_view::npos || after < before || after <= before + 1) return std::nullopt;
  return std::string(expanded.substr(before + 1, after - before - 1));
}

}  // namespace queue
