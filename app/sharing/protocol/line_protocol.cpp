#include "app/sharing/protocol/line_protocol.h"

#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "platform/values/digest.h"

namespace sharing {
namespace {

// 1 January 1904 to 1 January 2001, in seconds.
constexpr double k1904To2001 = 3061152000.0;

}  // namespace

std::string MakeChallenge() {
  // Unpredictable, unlike a digest of the up-time: a challenge that can be guessed lets a
  // recorded login be replayed.
  std::array<std::uint8_t, kChallengeLength / 2> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    // No random bytes: a fresh digest of the time still differs per connection.
    const auto t = std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    const auto d = values::ComputeDigest(values::DigestAlgorithm::kMd5, t);
    std::copy(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(bytes.size()), bytes.begin());
  }
  return values::HexUpper(bytes);
}

std::string GreetingLine(std::string_view challenge) {
  return "TR" + std::to_string(kSharingProtocolVersion) + "<" + std::string(challenge) + ">\r\n";
}

std::string LoginResponse(std::string_view challenge, std::string_view password) {
  std::string text(challenge);
  text.append(password);
  return values::HexUpper(values::ComputeDigest(values::DigestAlgorithm::kMd5, text));
}

std::string LoginUserName(std::string_view name) {
  if (name.empty() || name == "guest") return kGuestUser;
  return std::string(name);
}

std::string LoginLine(std::string_view user, std::string_view challenge, std::string_view password) {
  return LoginUserName(user) + kLoginSeparator + LoginResponse(challenge, password) + "\r\n";
}

std::optional<ParsedLogin> ParseLoginLine(std::string_view line) {
  const auto sep = line.find(kLoginSeparator);
  if (sep == std::string_view::npos) return std::nullopt;
  ParsedLogin login;
  login.user = LoginUserName(CutUtf8(line.substr(0, sep), kMaxLoginNameLength));
  login.response = std::string(line.substr(sep + 4));
  return login;
}

std::string_view CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t n = maxBytes;
  // Back off continuation bytes so that the cut falls before a character's first byte.
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

std::string FieldValue(std::string_view text, bool keepCR) {
  std::string value(text);
  for (char& c : value) {
    if (c == '\n' || c == '\r') c = keepCR ? '\r' : ' ';
  }
  // A kept CR never stands last, where it would run into the line's own CR LF.
  while (!value.empty() && value.back() == '\r') value.pop_back();
  return value;
}

bool LineBuffer::Append(std::span<const std::uint8_t> bytes) {
  return Append(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool LineBuffer::Append(std::string_view bytes) {
  if (overflowed_) return false;
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
  // Every complete line must fit, and so must the partial line at the end.
  std::size_t from = start_;
  for (;;) {
    const auto end = buffer_.find("\r\n", from);
    const std::size_t lineEnd = end == std::string::npos ? buffer_.size() : end;
    if (lineEnd - from > max_) {
      overflowed_ = true;
      buffer_.clear();
      start_ = 0;
      return false;
    }
    if (end == std::string::npos) break;
    from = end + 2;
  }
  return true;
}

std::optional<std::string> LineBuffer::NextLine() {
  const auto end = buffer_.find("\r\n", start_);
  if (end == std::string::npos) return std::nullopt;
  std::string line = buffer_.substr(start_, end - start_);
  start_ = end + 2;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  return line;
}

bool LineBuffer::HasLine() const {
  return buffer_.find("\r\n", start_) != std::string::npos;
}

int SplitHeaderLine(std::string_view text, std::string_view& name, std::string_view& value,
                    std::size_t& consumed) {
  const auto end = text.find("\r\n");
  if (end == std::string_view::npos) return -1;
  const auto colon = text.substr(0, end).find(':');
  if (colon == std::string_view::npos) return -2;
  name = text.substr(0, colon);
  value = text.substr(colon + 1, end - colon - 1);
  consumed = end + 2;
  return 0;
}

std::uint64_t SecondsSince1904(double absoluteTime) {
  const double s = std::floor(absoluteTime + k1904To2001);
  if (!(s > 0)) return 0;
  if (s >= 18446744073709551615.0) return UINT64_MAX;
  return static_cast<std::uint64_t>(s);
}

double AbsoluteTimeFrom1904(std::uint64_t seconds) {
  return static_cast<double>(seconds) - k1904To2001;
}

}  // namespace sharing
