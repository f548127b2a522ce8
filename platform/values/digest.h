#pragma once
// Message digests (MD5, SHA-1, SHA-256) through OpenSSL, in one call or fed piece by piece,
// and the hexadecimal forms the program writes: lower case for checksums and HTTP digest
// authentication, upper case where a protocol wants it (HexUpper).

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace values {

enum class DigestAlgorithm { kMd5, kSha1, kSha256 };

// Feeds data in pieces and takes the digest once at the end.
class Digester {
 public:
  explicit Digester(DigestAlgorithm algorithm);
  ~Digester();
  Digester(Digester&&) noexcept;
  Digester& operator=(Digester&&) noexcept;

  void Update(std::span<const std::uint8_t> data);
  void Update(std::string_view data);
  // The digest of everything fed so far; the digester then starts afresh.
  std::vector<std::uint8_t> Finish();

  static std::size_t SizeOf(DigestAlgorithm algorithm);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

std::vector<std::uint8_t> ComputeDigest(DigestAlgorithm algorithm, std::span<const std::uint8_t> data);
std::vector<std::uint8_t> ComputeDigest(DigestAlgorithm algorithm, std::string_view data);

std::string HexLower(std::span<const std::uint8_t> bytes);
std::string HexUpper(std::span<const std::uint8_t> bytes);

// Lower-case hexadecimal digests of text or bytes.
inline std::string Md5Hex(std::string_view data) {
  return HexLower(ComputeDigest(DigestAlgorithm::kMd5, data));
}
inline std::string Sha1Hex(std::string_view data) {
  return HexLower(ComputeDigest(DigestAlgorithm::kSha1, data));
}
inline std::string Sha256Hex(std::string_view data) {
  return HexLower(ComputeDigest(DigestAlgorithm::kSha256, data));
}

}  // namespace values
