#pragma once
// Test content: reproducible random bytes (a seed gives the same bytes on every run, so a
// failure can be replayed) and the SHA-1 that tests compare files by.

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/digest.h"

namespace testsupport {

// `size` bytes from a Mersenne Twister seeded with `seed`, one low byte per draw.
inline std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(random() & 0xff);
  return out;
}

// The same bytes as RandomBytes, as a byte vector.
inline std::vector<std::uint8_t> RandomByteVector(std::size_t size, unsigned seed) {
  const std::string bytes = RandomBytes(size, seed);
  return {bytes.begin(), bytes.end()};
}

// Lower-case hexadecimal SHA-1.
inline std::string Sha1Of(std::string_view bytes) {
  return values::Sha1Hex(bytes);
}
inline std::string Sha1Of(std::span<const std::uint8_t> bytes) {
  return values::HexLower(values::ComputeDigest(values::DigestAlgorithm::kSha1, bytes));
}

}  // namespace testsupport
