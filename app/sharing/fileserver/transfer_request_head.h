#pragma once
// The head of one request to the file-transfer server, read from bytes as they arrive.
//
// Bounded: a head that has not ended within kMaxTransferHeadBytes, or that holds more than
// kMaxTransferHeaderCount header lines, is refused (the connection then ends without a
// reply). Only the head is kept; bytes after its blank line are left to the caller.
// Header names are matched without regard to case; the request-target is kept byte for
// byte, since the digest compares it with the "uri" the peer signed.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sharing {

inline constexpr std::size_t kMaxTransferHeadBytes = 12287;
inline constexpr std::size_t kMaxTransferHeaderCount = 100;

class TransferRequestHead {
 public:
  enum class Status { kIncomplete, kComplete, kTooLarge, kMalformed };

  // Takes the next bytes; how many of them belong to the head (the rest, when complete, is
  // body). Nothing more is taken once the head is complete or refused.
  std::size_t Append(std::string_view bytes);
  Status status() const { return status_; }

  const std::string& method() const { return method_; }
  const std::string& target() const { return target_; }
  // The first header of that name, matched without regard to case.
  std::optional<std::string> Header(std::string_view name) const;

 private:
  void Parse();

  Status status_ = Status::kIncomplete;
  std::string raw_;
  std::string method_;
  std::string target_;
  std::vector<std::pair<std::string, std::string>> headers_;
};

}  // namespace sharing
