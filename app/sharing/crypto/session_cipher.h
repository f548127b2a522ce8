#pragma once
// The stream cipher of one peer connection.
//
// Both ends seed an ISAAC generator (the published 32-bit generator, 256-word state) from
// the connection's 64-byte session key and XOR every byte that travels with the next byte
// of its output: words are taken from the top of each batch down (results[255] first), a
// word's bytes from the least significant up, and the stream runs on across calls however
// the data is cut. One context serves both directions, so both ends stay in step only
// because each protocol strictly alternates request and reply.
//
// It hides the bytes and nothing more: a changed byte is not detected.

#include <array>
#include <cstddef>
#include <cstdint>

namespace sharing {

inline constexpr std::size_t kSessionKeySize = 64;
using SessionKey = std::array<std::uint8_t, kSessionKeySize>;

struct IsaacContext {
  std::uint32_t count = 0;
  std::array<std::uint32_t, 256> results{};
  std::array<std::uint32_t, 256> memory{};
  std::uint32_t a = 0, b = 0, c = 0;
};

struct SessionCipher {
  std::uint32_t word = 0;
  std::uint32_t position = 4;  // the next byte of `word` to use; 4: used up
  IsaacContext isaac;
};

void IsaacGenerate(IsaacContext& ctx);
// `seeded`: mix `results` in (the cipher always seeds).
void IsaacInit(IsaacContext& ctx, bool seeded);

void SessionCipherInit(SessionCipher& cipher, const SessionKey& key);
// XORs the bytes in place with the next `length` bytes of the key stream; the same call
// enciphers and deciphers. Allocates nothing.
void SessionCipherApply(SessionCipher& cipher, std::uint8_t* bytes, std::size_t length);
// Zeroes the whole context (owners call it before letting it go).
void SessionCipherClear(SessionCipher& cipher);

}  // namespace sharing
