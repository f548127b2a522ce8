#include "app/engine/http/cookie_string.h"

#include <algorithm>
#include <string>

namespace engine {
namespace {

bool IsSkippedWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool HasControlCharacter(std::string_view s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

// A scanner over the text that, like a header reader, skips white space before every
// token it reads but keeps white space inside and after one.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  std::size_t position() const { return pos_; }
  void set_position(std::size_t pos) { pos_ = pos; }

  bool AtEnd() const {
    std::size_t p = pos_;
    while (p < text_.size() && IsSkippedWhiteSpace(text_[p])) ++p;
    return p >= text_.size();
  }

  // Reads everything up to `stop` (or the end); false when that is nothing.
  bool ScanUpTo(char stop, std::string& out) {
    SkipWhiteSpace();
    std::size_t end = text_.find(stop, pos_);
    if (end == std::string_view::npos) end = text_.size();
    if (end == pos_) return false;
    out.assign(text_.substr(pos_, end - pos_));
    pos_ = end;
    return true;
  }

  bool ScanChar(char c) {
    std::size_t saved = pos_;
    SkipWhiteSpace();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    pos_ = saved;
    return false;
  }

  // Moves behind the next `c`; false (position unchanged) when there is none.
  bool SkipPast(char c) {
    std::size_t at = text_.find(c, pos_);
    if (at == std::string_view::npos) return false;
    pos_ = at + 1;
    return true;
  }

 private:
  void SkipWhiteSpace() {
    while (pos_ < text_.size() && IsSkippedWhiteSpace(text_[pos_])) ++pos_;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<values::Dictionary> ParseCookieString(std::string_view text) {
  values::Dictionary cookies;
  Scanner scanner(text);
  std::optional<std::size_t> last_failure;
  while (!scanner.AtEnd()) {
    std::string name;
    std::string value;
    scanner.ScanUpTo('=', name);  // a cookie without a name keeps the empty name
    if (scanner.ScanChar('=') && scanner.ScanUpTo(';', value)) {
      // A control character is in no cookie a browser sends; kept, it would reach the
      // request head and the queue file.
      if (!HasControlCharacter(name) && !HasControlCharacter(value))
        cookies[name] = values::Value(std::move(value));
      scanner.ScanChar(';');
      continue;
    }
    // A pair that cannot be read: skip to the next ";". Failing twice at the same place
    // means no progress is possible, so stop rather than loop.
    std::size_t here = scanner.position();
    if (last_failure && *last_failure == here && here != 0) break;
    last_failure = here;
    if (!scanner.SkipPast(';')) break;
  }
  if (cookies.empty()) return std::nullopt;
  return cookies;
}

}  // namespace engine
