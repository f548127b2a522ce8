#include "app/engine/task/checksum_verification.h"

#include <memory>
#include <vector>

namespace engine {

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

namespace {

// The length of the checksum's algorithm prefix ("md5;", "sha;", "sha1;"), 0 when unknown.
std::size_t PrefixLength(std::string_view checksum, values::DigestAlgorithm* algorithm) {
  const struct {
    std::string_view prefix;
    values::DigestAlgorithm algorithm;
  } known[] = {{"md5;", values::DigestAlgorithm::kMd5},
               {"sha;", values::DigestAlgorithm::kSha1},
               {"sha1;", values::DigestAlgorithm::kSha1}};
  for (const auto& k : known) {
    if (checksum.size() >= k.prefix.size() &&
        EqualIgnoringCase(checksum.substr(0, k.prefix.size()), k.prefix)) {
      if (algorithm) *algorithm = k.algorithm;
      return k.prefix.size();
    }
  }
  return 0;
}

}  // namespace

std::optional<values::DigestAlgorithm> ChecksumAlgorithm(std::string_view checksum) {
  values::DigestAlgorithm algorithm{};
  if (PrefixLength(checksum, &algorithm) == 0) return std::nullopt;
  return algorithm;
}

ChecksumResult VerifyDownloadChecksum(const files::FileHandle& file, std::string_view checksum) {
  const auto algorithm = ChecksumAlgorithm(checksum);
  if (!algorithm) return ChecksumResult::kUnknownAlgorithm;
  values::Digester digester(*algorithm);
  std::vector<std::uint8_t> block(kChecksumReadSize);
  std::uint64_t offset = 0;
  for (;;) {
    auto got = file.ReadAt(offset, block);
    if (!got.ok()) return ChecksumResult::kUnreadable;
    if (*got == 0) break;
    digester.Update(std::span<const std::uint8_t>(block.data(), *got));
    offset += *got;
  }
  const std::string digest = values::HexUpper(digester.Finish());
  std::string_view expected = checksum.substr(PrefixLength(checksum, nullptr));
  while (!expected.empty() &&
         (expected.back() == ' ' || expected.back() == '\n' || expected.back() == '\r')) {
    expected.remove_suffix(1);
  }
  return EqualIgnoringCase(digest, expected) ? ChecksumResult::kMatch : ChecksumResult::kMismatch;
}

}  // namespace engine
