#include "platform/values/base64.h"

#include <array>

namespace values {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
  std::array<std::int8_t, 256> table{};
  for (auto& entry : table) entry = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}

constexpr auto kDecode = MakeDecodeTable();

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

std::string EncodeBase64(std::span<const std::uint8_t> bytes) {
  std::string out((bytes.size() + 2) / 3 * 4, '=');
  char* o = out.data();
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    *o++ = kAlphabet[(group >> 18) & 63];
    *o++ = kAlphabet[(group >> 12) & 63];
    *o++ = kAlphabet[(group >> 6) & 63];
    *o++ = kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {  // the padding is there already
    const std::uint32_t group = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
    *o++ = kAlphabet[(group >> 18) & 63];
    *o++ = kAlphabet[(group >> 12) & 63];
    if (rest == 2) *o = kAlphabet[(group >> 6) & 63];
  }
  return out;
}

std::string EncodeBase64(std::string_view bytes) {
  return EncodeBase64(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<Bytes> DecodeBase64(std::string_view text) {
  Bytes out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int filled = 0;   // characters in the current group of four
  int padding = 0;  // '=' seen; nothing but white space and more '=' may follow
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size(); ++i) {
    // Whole groups of four alphabet characters (nearly all of a stored value) go at once.
    if (filled == 0 && padding == 0) {
      while (i + 4 <= text.size()) {
        const int a = kDecode[in[i]], b = kDecode[in[i + 1]], c = kDecode[in[i + 2]], d = kDecode[in[i + 3]];
        if ((a | b | c | d) < 0) break;  // white space, padding or a bad character: one by one
        const auto whole = static_cast<std::uint32_t>(a << 18 | b << 12 | c << 6 | d);
        out.insert(out.end(), {static_cast<std::uint8_t>(whole >> 16), static_cast<std::uint8_t>(whole >> 8),
                               static_cast<std::uint8_t>(whole)});
        i += 4;
      }
      if (i == text.size()) break;
    }
    const char c = static_cast<char>(in[i]);
    if (IsSpace(c)) continue;
    if (c == '=') {
      // Padding only completes a group of two or three characters.
      if (filled + padding < 2 || filled + padding >= 4) return std::nullopt;
      ++padding;
      continue;
    }
    const int digit = kDecode[static_cast<unsigned char>(c)];
    if (digit < 0 || padding > 0) return std::nullopt;
    group = (group << 6) | static_cast<std::uint32_t>(digit);
    if (++filled == 4) {
      out.push_back(static_cast<std::uint8_t>(group >> 16));
      out.push_back(static_cast<std::uint8_t>(group >> 8));
      out.push_back(static_cast<std::uint8_t>(group));
      group = 0;
      filled = 0;
    }
  }
  if (padding > 0 && filled + padding != 4) return std::nullopt;
  switch (filled) {
    case 0:
      break;
    case 1:  // six bits cannot make a byte
      return std::nullopt;
    case 2:
      out.push_back(static_cast<std::uint8_t>(group >> 4));
      break;
    case 3:
      out.push_back(static_cast<std::uint8_t>(group >> 10));
      out.push_back(static_cast<std::uint8_t>(group >> 2));
      break;
  }
  return out;
}

}  // namespace values
