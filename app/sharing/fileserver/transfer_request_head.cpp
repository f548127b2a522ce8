#include "app/sharing/fileserver/transfer_request_head.h"

#include <algorithm>

namespace sharing {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

std::size_t TransferRequestHead::Append(std::string_view bytes) {
  if (status_ != Status::kIncomplete) return 0;
  // Only what is needed to see the end of the head is taken: the blank line may span reads.
  const std::size_t before = raw_.size();
  const std::size_t room = kMaxTransferHeadBytes + 1 - before;
  raw_.append(bytes.substr(0, std::min(bytes.size(), room)));
  // The earliest blank line ends the head, however the bytes were cut.
  std::size_t end = raw_.find("\r\n\r\n", before >= 3 ? before - 3 : 0);
  std::size_t endLength = 4;
  const std::size_t bare = raw_.find("\n\n", before >= 1 ? before - 1 : 0);
  if (bare != std::string::npos && (end == std::string::npos || bare < end)) {
    end = bare;
    endLength = 2;
  }
  if (end == std::string::npos || end + endLength > kMaxTransferHeadBytes) {
    const std::size_t taken = raw_.size() - before;
    if (raw_.size() > kMaxTransferHeadBytes) {
      status_ = Status::kTooLarge;
      raw_.clear();
    }
    return taken;
  }
  const std::size_t taken = end + endLength - before;
  raw_.resize(end);
  Parse();
  raw_.clear();
  return taken;
}

void TransferRequestHead::Parse() {
  std::string_view rest = raw_;
  bool first = true;
  while (!rest.empty() || first) {
    const std::size_t nl = rest.find('\n');
    std::string_view line = rest.substr(0, nl);
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      first = false;
      const std::size_t sp1 = line.find(' ');
      const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
      if (sp1 == 0 || sp2 == std::string_view::npos || sp2 == sp1 + 1 ||
          line.substr(sp2 + 1).rfind("HTTP/", 0) != 0) {
        status_ = Status::kMalformed;
        return;
      }
      method_ = std::string(line.substr(0, sp1));
      target_ = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
      continue;
    }
    if (line.empty()) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || headers_.size() >= kMaxTransferHeaderCount) {
      status_ = Status::kMalformed;
      return;
    }
    headers_.emplace_back(std::string(Trim(line.substr(0, colon))),
                          std::string(Trim(line.substr(colon + 1))));
  }
  status_ = Status::kComplete;
}

std::optional<std::string> TransferRequestHead::Header(std::string_view name) const {
  for (const auto& [k, v] : headers_) {
    if (SameNoCase(k, name)) return v;
  }
  return std::nullopt;
}

}  // namespace sharing
