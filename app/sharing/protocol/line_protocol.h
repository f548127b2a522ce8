#pragma once
// The pieces of the sharing line protocol that both ends use.
//
// One TCP connection per session. Every line ends in CR LF. The server greets with
// "TR5070<challenge>\r\n", the 32-character challenge in upper-case hexadecimal; the
// client logs in with "name*/*/response\r\n", where the response is the MD5 of the
// challenge followed by the password's bytes, again 32 upper-case hex digits. After that
// the client sends one command and reads its whole reply before the next, so that the
// one session cipher both ends share stays in step.
//
// Input from the network is read through LineBuffer, which keeps a partial line across
// reads but never more than its limit: a peer cannot make either end hold more than that.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sharing {

inline constexpr int kSharingProtocolVersion = 5070;
inline constexpr std::uint16_t kDefaultSharePort = 2550;
inline constexpr std::size_t kChallengeLength = 32;
inline constexpr std::size_t kGreetingLength = 42;  // "TR5070<" + 32 + ">\r\n"
// The longest user name a login line carries (bytes).
inline constexpr std::size_t kMaxLoginNameLength = 128;
inline constexpr const char kLoginSeparator[] = "*/*/";
inline constexpr const char kGuestUser[] = "Guest";

// 32 upper-case hex digits from the system's random generator.
std::string MakeChallenge();
std::string GreetingLine(std::string_view challenge);
// MD5(challenge ‖ password) as 32 upper-case hex digits.
std::string LoginResponse(std::string_view challenge, std::string_view password);
// "" and "guest" log in as "Guest"; any other name is used as it stands.
std::string LoginUserName(std::string_view name);
// The login line the client sends.
std::string LoginLine(std::string_view user, std::string_view challenge, std::string_view password);

struct ParsedLogin {
  std::string user;      // as LoginUserName gives it, at most kMaxLoginNameLength bytes
  std::string response;  // the text after the separator
};
// Nothing without the separator.
std::optional<ParsedLogin> ParseLoginLine(std::string_view line);

// Cuts `text` to at most `maxBytes` without splitting a UTF-8 character.
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);
// A value for one field line, which never ends its field or record early: CR and LF become
// blanks, or with `keepCR` (the URL list, which joins its URLs with CR) both become CR, and
// none is left at the end.
std::string FieldValue(std::string_view text, bool keepCR = false);

// Lines of a byte stream, each ended by CR LF, a partial line kept for the next read.
class LineBuffer {
 public:
  explicit LineBuffer(std::size_t maxLineLength) : max_(maxLineLength) {}
  // False once a line has grown beyond the limit without its end; the buffer then takes
  // nothing more.
  bool Append(std::span<const std::uint8_t> bytes);
  bool Append(std::string_view bytes);
  // The next complete line without its CR LF.
  std::optional<std::string> NextLine();
  bool HasLine() const;
  bool overflowed() const { return overflowed_; }
  std::size_t pending() const { return buffer_.size() - start_; }

 private:
  std::size_t max_;
  std::string buffer_;
  std::size_t start_ = 0;
  bool overflowed_ = false;
};

// One field line of a listing at the start of `text`: 0 with name and value set and
// `consumed` the bytes up to and with the CR LF; -1 when the line is not complete yet;
// -2 when it has no colon.
int SplitHeaderLine(std::string_view text, std::string_view& name, std::string_view& value,
                    std::size_t& consumed);

// Whole seconds since 1 January 1904 (UTC) for an absolute time (seconds since 2001), and back.
std::uint64_t SecondsSince1904(double absoluteTime);
double AbsoluteTimeFrom1904(std::uint64_t seconds);

}  // namespace sharing
