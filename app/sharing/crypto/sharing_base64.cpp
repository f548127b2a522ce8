#include "app/sharing/crypto/sharing_base64.h"

#include <array>

namespace sharing {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

const std::array<std::uint8_t, 256>& ReverseTable() {
  static const std::array<std::uint8_t, 256> table = [] {
    std::array<std::uint8_t, 256> t{};
    for (std::uint8_t i = 0; i < 64; ++i) t[static_cast<unsigned char>(kAlphabet[i])] = i;
    return t;
  }();
  return table;
}

}  // namespace

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t n =
        (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t left = bytes.size() - i;
  if (left == 1) {
    const std::uint32_t n = std::uint32_t{bytes[i]} << 16;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += "==";
  } else if (left == 2) {
    const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (std::uint32_t{bytes[i + 1]} << 8);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

std::vector<std::uint8_t> Base64Decode(std::string_view text) {
  if (text.size() < 4 || text.size() % 4 != 0) return {};
  const auto& rev = ReverseTable();
  std::size_t groups = text.size() / 4;
  std::size_t tail = 0;  // bytes of a last, padded group
  if (text.back() == '=') {
    tail = text[text.size() - 2] == '=' ? 1 : 2;
    --groups;
  }
  std::vector<std::uint8_t> out;
  out.reserve(groups * 3 + tail);
  const auto value = [&](std::size_t at) { return std::uint32_t{rev[static_cast<unsigned char>(text[at])]}; };
  for (std::size_t g = 0; g < groups + (tail ? 1 : 0); ++g) {
    const std::size_t at = 4 * g;
    const std::uint32_t n = (value(at) << 18) | (value(at + 1) << 12) | (value(at + 2) << 6) | value(at + 3);
    const std::size_t take = g < groups ? 3 : tail;
    for (std::size_t k = 0; k < take; ++k) out.push_back(static_cast<std::uint8_t>(n >> (16 - 8 * k)));
  }
  return out;
}

}  // namespace sharing
