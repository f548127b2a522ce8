#include "app/sharing/crypto/session_cipher.h"

#include <openssl/crypto.h>

namespace sharing {
namespace {

constexpr std::uint32_t kGoldenRatio = 0x9E3779B9u;

void Mix(std::uint32_t (&v)[8]) {
  auto& [a, b, c, d, e, f, g, h] = v;
  a ^= b << 11, d += a, b += c;
  b ^= c >> 2, e += b, c += d;
  c ^= d << 8, f += c, d += e;
  d ^= e >> 16, g += d, e += f;
  e ^= f << 10, h += e, f += g;
  f ^= g >> 4, a += f, g += h;
  g ^= h << 8, b += g, h += a;
  h ^= a >> 9, c += h, a += b;
}

std::uint32_t NextWord(IsaacContext& ctx) {
  if (ctx.count == 0) {
    IsaacGenerate(ctx);
    ctx.count = 255;
  } else {
    --ctx.count;
  }
  return ctx.results[ctx.count];
}

}  // namespace

void IsaacGenerate(IsaacContext& ctx) {
  ctx.c += 1;
  std::uint32_t a = ctx.a;
  std::uint32_t b = ctx.b + ctx.c;
  auto& m = ctx.memory;
  for (std::size_t i = 0; i < 256; ++i) {
    const std::uint32_t x = m[i];
    switch (i & 3) {
      case 0:
        a ^= a << 13;
        break;
      case 1:
        a ^= a >> 6;
        break;
      case 2:
        a ^= a << 2;
        break;
      default:
        a ^= a >> 16;
        break;
    }
    a += m[(i + 128) & 255];
    const std::uint32_t y = m[(x >> 2) & 255] + a + b;
    m[i] = y;
    b = m[(y >> 10) & 255] + x;
    ctx.results[i] = b;
  }
  ctx.a = a;
  ctx.b = b;
}

void IsaacInit(IsaacContext& ctx, bool seeded) {
  ctx.a = ctx.b = ctx.c = 0;
  std::uint32_t v[8];
  for (auto& x : v) x = kGoldenRatio;
  for (int i = 0; i < 4; ++i) Mix(v);
  const auto pass = [&](const std::array<std::uint32_t, 256>& source) {
    for (std::size_t i = 0; i < 256; i += 8) {
      for (std::size_t j = 0; j < 8; ++j) v[j] += source[i + j];
      Mix(v);
      for (std::size_t j = 0; j < 8; ++j) ctx.memory[i + j] = v[j];
    }
  };
  if (seeded) {
    pass(ctx.results);
    pass(ctx.memory);
  } else {
    for (std::size_t i = 0; i < 256; i += 8) {
      Mix(v);
      for (std::size_t j = 0; j < 8; ++j) ctx.memory[i + j] = v[j];
    }
  }
  IsaacGenerate(ctx);
  ctx.count = 256;
}

void SessionCipherInit(SessionCipher& cipher, const SessionKey& key) {
  cipher.isaac.results.fill(0);
  cipher.isaac.memory.fill(0);
  for (std::size_t i = 0; i < 16; ++i) {
    cipher.isaac.results[i] = (std::uint32_t{key[4 * i]} << 24) | (std::uint32_t{key[4 * i + 1]} << 16) |
                              (std::uint32_t{key[4 * i + 2]} << 8) | std::uint32_t{key[4 * i + 3]};
  }
  cipher.position = 4;
  cipher.word = 0;
  IsaacInit(cipher.isaac, true);
}

void SessionCipherApply(SessionCipher& cipher, std::uint8_t* bytes, std::size_t length) {
  std::uint32_t word = cipher.word;
  std::uint32_t position = cipher.position;
  std::size_t i = 0;
  while (i < length) {
    if (position == 4) {
      word = NextWord(cipher.isaac);
      position = 0;
    }
    if (position == 0) {
      // Whole words at a time while four bytes remain.
      while (length - i >= 4) {
        bytes[i] ^= static_cast<std::uint8_t>(word);
        bytes[i + 1] ^= static_cast<std::uint8_t>(word >> 8);
        bytes[i + 2] ^= static_cast<std::uint8_t>(word >> 16);
        bytes[i + 3] ^= static_cast<std::uint8_t>(word >> 24);
        i += 4;
        word = NextWord(cipher.isaac);
      }
    }
    while (i < length && position < 4) {
      bytes[i++] ^= static_cast<std::uint8_t>(word >> (8 * position));
      ++position;
    }
    if (position == 4 && i == length) {
      // A used-up word is replaced at once, so the stored position stays below 4.
      word = NextWord(cipher.isaac);
      position = 0;
    }
  }
  cipher.word = word;
  cipher.position = position;
}

void SessionCipherClear(SessionCipher& cipher) {
  OPENSSL_cleanse(&cipher, sizeof cipher);
}

}  // namespace sharing
