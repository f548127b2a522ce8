#pragma once
// Conversion between UTF-8 and the other text encodings the program meets: ISO Latin 1
// (the fallback for bytes that are not UTF-8), Windows Latin 1 (cp1252), Mac OS Roman
// (resource strings), UTF-16 and any character set that a server names by its IANA name
// ("charset=" in a Content-Type), through ICU's converters.
//
// Decoding is strict: bytes that the encoding does not define make the conversion fail,
// so callers can try one encoding after another (ISO Latin 1 accepts every byte; Windows
// Latin 1 reads its five unassigned bytes 0x81, 0x8D, 0x8F, 0x90, 0x9D as the C1 controls,
// as Windows does). Encoding either fails on a character the target cannot hold, or writes
// a substitute byte of the caller's choice for it.
// UTF-16 reads a byte-order mark and drops it, and without one reads big-endian; written,
// it gets a mark and the machine's byte order (little-endian here). The explicit
// big- and little-endian forms neither read nor write a mark.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace values {

class TextEncoding {
 public:
  static TextEncoding Utf8();
  static TextEncoding Ascii();
  static TextEncoding IsoLatin1();
  static TextEncoding WindowsLatin1();
  static TextEncoding MacRoman();
  static TextEncoding Utf16();  // with a byte-order mark
  static TextEncoding Utf16BigEndian();
  static TextEncoding Utf16LittleEndian();
  // An IANA (or other ICU-known) character-set name, any case: "iso-8859-2", "Shift_JIS",
  // "windows-1251", "utf-8". nullopt when the name is unknown.
  static std::optional<TextEncoding> FromName(std::string_view name);

  // The canonical name ICU knows the encoding by.
  const std::string& Name() const { return name_; }
  bool operator==(const TextEncoding& other) const { return name_ == other.name_; }

 private:
  explicit TextEncoding(std::string name) : name_(std::move(name)) {}
  std::string name_;
};

// The bytes in `encoding` as UTF-8; nullopt when they are not valid in that encoding.
std::optional<std::string> DecodeText(std::string_view bytes, const TextEncoding& encoding);

// UTF-8 text in `encoding`. Without a substitute, a character the encoding cannot hold makes
// the conversion fail; with one, that byte stands in for each such character.
std::optional<std::string> EncodeText(std::string_view utf8, const TextEncoding& encoding,
                                      std::optional<char> substitute = std::nullopt);

// The common fallback chain for names and replies: UTF-8 when the bytes are valid UTF-8,
// else ISO Latin 1 (which accepts every byte).
std::string DecodeUtf8OrLatin1(std::string_view bytes);

}  // namespace values
