#include "app/engine/task/checksum_verification.h"

#include <memory>
#include <vector>

#include "platform/values/ascii.h"

namespace engine {

std::optional<values::DigestAlgorithm> ChecksumAlgorithm(std::string_view checksum) {
  if (checksum.size() < 4) return std::nullopt;
  const std::string_view prefix = checksum.substr(0, 4);
  if (values::AsciiEqualsIgnoringCase(prefix, "md5;")) return values::DigestAlgorithm::kMd5;
  if (values::AsciiEqualsIgnoringCase(prefix, "sha;")) return values::DigestAlgorithm::kSha1;
  return std::nullopt;
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
  std::string_view expected = checksum.substr(4);
  while (!expected.empty() &&
         (expected.back() == ' ' || expected.back() == '\n' || expected.back() == '\r')) {
    expected.remove_suffix(1);
  }
  return values::AsciiEqualsIgnoringCase(digest, expected) ? ChecksumResult::kMatch
                                                           : ChecksumResult::kMismatch;
}

}  // namespace engine
