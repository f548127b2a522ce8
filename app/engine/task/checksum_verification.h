#pragma once
// Checking a finished download against the checksum its source gave.
//
// A checksum is "<algorithm>;<hexadecimal digest>": "md5;", or "sha;" or "sha1;" (SHA-1:
// downloads added from metalink files carry the second form), the prefix compared without
// case ("MD5;" is MD5 too). The digest text is compared without case as
// well. A checksum naming any other algorithm is not a pass: the download is reported as
// not verified, so a typo in a checksum never turns into a silent success.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files/file_handle.h"
#include "platform/values/digest.h"

namespace engine {

enum class ChecksumResult { kMatch, kMismatch, kUnknownAlgorithm, kUnreadable };

// Block size of the reads: large enough that the digest, not the system calls, is the cost.
inline constexpr std::size_t kChecksumReadSize = 393216;

// The algorithm of a checksum's prefix; none when the prefix is unknown.
std::optional<values::DigestAlgorithm> ChecksumAlgorithm(std::string_view checksum);

// Digests the whole file from its start and compares.
ChecksumResult VerifyDownloadChecksum(const files::FileHandle& file, std::string_view checksum);

}  // namespace engine
