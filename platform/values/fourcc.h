#pragma once
// Four-character codes name event classes and kinds, commands, control signatures,
// Apple-event keywords and property tags. A code is four bytes read big-endian into
// 32 bits, so codes written with Mac Roman bytes (such as the 0xA9 of some keywords)
// keep their exact value; `FourCC("TRDc")` is usable in constant expressions and in
// `switch` labels.

#include <cstdint>
#include <string>

namespace values {

using FourCharCode = std::uint32_t;

constexpr FourCharCode FourCC(const char (&s)[5]) {
  return (static_cast<FourCharCode>(static_cast<unsigned char>(s[0])) << 24) |
         (static_cast<FourCharCode>(static_cast<unsigned char>(s[1])) << 16) |
         (static_cast<FourCharCode>(static_cast<unsigned char>(s[2])) << 8) |
         static_cast<FourCharCode>(static_cast<unsigned char>(s[3]));
}

constexpr FourCharCode FourCCFromBytes(unsigned char a, unsigned char b, unsigned char c, unsigned char d) {
  return (FourCharCode{a} << 24) | (FourCharCode{b} << 16) | (FourCharCode{c} << 8) | FourCharCode{d};
}

// The four bytes as they stand, for logs and test messages ("TRDc").
inline std::string FourCCString(FourCharCode code) {
  std::string s(4, ' ');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return s;
}

}  // namespace values
