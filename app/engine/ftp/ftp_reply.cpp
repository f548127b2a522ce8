#include "app/engine/ftp/ftp_reply.h"

#include <limits>

#include "platform/values/text_encoding.h"

namespace engine {
namespace {

// A multi-line reply (a STAT listing of a big folder) may be long, but not without end.
constexpr std::size_t kMaxReplySize = 4 * 1024 * 1024;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string DecodeReplyBytes(std::string_view bytes) {
  std::string collapsed;
  collapsed.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    collapsed.push_back(bytes[i]);
    if (bytes[i] == '\xFF' && i + 1 < bytes.size() && bytes[i + 1] == '\xFF') ++i;
  }
  return values::DecodeUtf8OrLatin1(collapsed);
}

std::string_view WithoutLineEnd(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

FTPSplitResult FTPConnectionSplitReplies(std::string& buffer, FTPReply& reply) {
  // A reply that does not even start with digits can be refused before its line ends.
  for (std::size_t i = 0; i < 3 && i < buffer.size(); ++i) {
    if (!IsDigit(buffer[i])) return FTPSplitResult::kMalformed;
  }
  std::size_t pos = 0;
  std::string_view code_digits;
  while (true) {
    const std::size_t lf = buffer.find('\n', pos);
    if (lf == std::string::npos) {
      if (buffer.size() - pos > kFTPMaxReplyLine || buffer.size() > kMaxReplySize)
        return FTPSplitResult::kMalformed;
      return FTPSplitResult::kIncomplete;
    }
    const std::string_view line = WithoutLineEnd(std::string_view(buffer).substr(pos, lf + 1 - pos));
    const std::size_t line_start = pos;
    pos = lf + 1;
    bool last = false;
    if (line_start == 0) {
      if (line.size() < 3) return FTPSplitResult::kMalformed;
      code_digits = line.substr(0, 3);
      if (line.size() == 3 || line[3] == ' ') {
        last = true;
      } else if (line[3] != '-') {
        return FTPSplitResult::kMalformed;
      }
    } else {
      last = line.substr(0, 3) == code_digits && (line.size() == 3 || line[3] == ' ');
    }
    if (last) {
      reply.code = (code_digits[0] - '0') * 100 + (code_digits[1] - '0') * 10 + (code_digits[2] - '0');
      reply.last_line = DecodeReplyBytes(line);
      reply.text = DecodeReplyBytes(std::string_view(buffer).substr(0, pos));
      buffer.erase(0, pos);
      return FTPSplitResult::kComplete;
    }
    if (pos > kMaxReplySize) return FTPSplitResult::kMalformed;
  }
}

std::optional<std::string> EncodeFTPCommand(std::string_view command) {
  if (command.size() < 2 || command.substr(command.size() - 2) != "\r\n") return std::nullopt;
  const std::string_view body = command.substr(0, command.size() - 2);
  std::string out;
  out.reserve(command.size() + 4);
  for (char c : body) {
    if (c == '\r' || c == '\n') return std::nullopt;
    out.push_back(c);
    if (c == '\xFF') out.push_back(c);
  }
  out += "\r\n";
  return out;
}

std::string FTPCommandForLog(std::string_view command) {
  if (command.substr(0, 4) == "PASS") return "PASS *******\r\n";
  return std::string(command);
}

std::optional<std::string> ParseFTPQuotedPath(std::string_view last_line) {
  const std::size_t open = last_line.find(" \"");
  if (open == std::string_view::npos) return std::nullopt;
  std::string path;
  for (std::size_t i = open + 2; i < last_line.size(); ++i) {
    if (last_line[i] != '"') {
      path.push_back(last_line[i]);
      continue;
    }
    if (i + 1 < last_line.size() && last_line[i + 1] == '"') {
      path.push_back('"');
      ++i;
      continue;
    }
    return path;
  }
  return std::nullopt;  // never closed
}

std::optional<FTPPassiveAddress> ParseFTPPassiveReply(std::string_view last_line) {
  std::size_t pos = last_line.find('(');
  if (pos == std::string_view::npos) {
    // No parentheses: the numbers are the first digits after the code.
    pos = 3;
    while (pos < last_line.size() && !IsDigit(last_line[pos])) ++pos;
  } else {
    ++pos;
  }
  unsigned numbers[6];
  for (int n = 0; n < 6; ++n) {
    while (pos < last_line.size() && last_line[pos] == ' ') ++pos;
    if (pos >= last_line.size() || !IsDigit(last_line[pos])) return std::nullopt;
    unsigned value = 0;
    while (pos < last_line.size() && IsDigit(last_line[pos])) {
      value = value * 10 + static_cast<unsigned>(last_line[pos] - '0');
      if (value > 255) return std::nullopt;
      ++pos;
    }
    numbers[n] = value;
    if (n < 5) {
      if (pos >= last_line.size() || last_line[pos] != ',') return std::nullopt;
      ++pos;
    }
  }
  FTPPassiveAddress address;
  for (int i = 0; i < 4; ++i) address.address[i] = static_cast<std::uint8_t>(numbers[i]);
  address.port = static_cast<std::uint16_t>(numbers[4] * 256 + numbers[5]);
  return address;
}

std::int64_t ParseFTPSizeReply(std::string_view last_line) {
  const std::size_t space = last_line.find(' ');
  if (space == std::string_view::npos) return 0;
  std::uint64_t value = 0;
  constexpr std::uint64_t kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  for (std::size_t i = space + 1; i < last_line.size() && IsDigit(last_line[i]); ++i) {
    const unsigned digit = static_cast<unsigned>(last_line[i] - '0');
    if (value > (kMax - digit) / 10) return static_cast<std::int64_t>(kMax);
    value = value * 10 + digit;
  }
  return static_cast<std::int64_t>(value);
}

}  // namespace engine
