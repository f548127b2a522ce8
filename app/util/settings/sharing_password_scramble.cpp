#include "app/util/settings/sharing_password_scramble.h"

#include <cstdint>
#include <utility>

namespace util {
namespace {

std::uint8_t RotateRight(std::uint8_t b, unsigned r) {
  r &= 7;
  return r == 0 ? b : static_cast<std::uint8_t>((b >> r) | (b << (8 - r)));
}

std::uint8_t RotateLeft(std::uint8_t b, unsigned r) {
  r &= 7;
  return r == 0 ? b : static_cast<std::uint8_t>((b << r) | (b >> (8 - r)));
}

template <class Bytes>
void SwapTriples(Bytes& bytes) {
  for (std::size_t i = 2; i < bytes.size(); i += 3) std::swap(bytes[i], bytes[i - 2]);
}

// Applies `step(byte, keyIndex, keyByte)` with the key index running over the name and
// starting again at its first byte.
template <class Bytes, class Step>
void WalkKey(Bytes& bytes, std::string_view key, Step step) {
  if (key.empty()) return;
  std::size_t j = 0;
  for (auto& b : bytes) {
    const std::size_t jj = j < key.size() ? j : 0;
    const auto k = static_cast<std::uint8_t>(key[jj]);
    b = step(static_cast<std::uint8_t>(b), static_cast<unsigned>(jj + k), k);
    j = jj + 1;
  }
}

}  // namespace

values::Bytes EncodeSharingPassword(std::string_view password, std::string_view userName) {
  values::Bytes bytes(password.begin(), password.end());
  WalkKey(bytes, userName, [](std::uint8_t b, unsigned r, std::uint8_t k) {
    return static_cast<std::uint8_t>(RotateRight(b, r) ^ k);
  });
  SwapTriples(bytes);
  return bytes;
}

std::string DecodeSharingPassword(const values::Bytes& stored, std::string_view userName) {
  values::Bytes bytes = stored;
  SwapTriples(bytes);
  WalkKey(bytes, userName, [](std::uint8_t b, unsigned r, std::uint8_t k) {
    return RotateLeft(static_cast<std::uint8_t>(b ^ k), r);
  });
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace util
