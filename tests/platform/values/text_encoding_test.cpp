#include "platform/values/text_encoding.h"

#include <gtest/gtest.h>

namespace values {
namespace {

struct DecodeCase {
  std::string bytes;
  TextEncoding encoding;
  std::optional<std::string> expected;
};

TEST(TextEncodingTest, DecodeIsStrict) {
  const DecodeCase cases[] = {
      {"caf\xE9", TextEncoding::IsoLatin1(), "caf\xC3\xA9"},
      {"caf\xE9", TextEncoding::Utf8(), std::nullopt},
      {"\x80", TextEncoding::IsoLatin1(), "\xC2\x80"},
      {"\x80", TextEncoding::WindowsLatin1(), "\xE2\x82\xAC"},  // euro sign
      {"\x93quoted\x94", TextEncoding::WindowsLatin1(), "\xE2\x80\x9Cquoted\xE2\x80\x9D"},
      {"\x8E", TextEncoding::MacRoman(), "\xC3\xA9"},
      {"\xC4", TextEncoding::MacRoman(), "\xC6\x92"},  // ƒ, as in four-character codes
      {std::string("\xFE\xFF\x00\x41\x00\xE9", 6), TextEncoding::Utf16(), "A\xC3\xA9"},
      {std::string("\xFF\xFE\x41\x00", 4), TextEncoding::Utf16(), "A"},
      {std::string("\x00\x41", 2), TextEncoding::Utf16(), "A"},  // no mark: big-endian
      {std::string("\x00\x41", 2), TextEncoding::Utf16BigEndian(), "A"},
      {std::string("\x41\x00", 2), TextEncoding::Utf16LittleEndian(), "A"},
      {"\x41", TextEncoding::Utf16LittleEndian(), std::nullopt},  // half a unit
      {"\xE9", TextEncoding::Ascii(), std::nullopt},
      {"\x82\xA0", *TextEncoding::FromName("Shift_JIS"), "\xE3\x81\x82"},
      {"\xB1", *TextEncoding::FromName("iso-8859-2"), "\xC4\x85"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeText(c.bytes, c.encoding), c.expected) << c.encoding.Name();
}

struct EncodeCase {
  std::string text;
  TextEncoding encoding;
  std::optional<char> substitute;
  std::optional<std::string> expected;
};

TEST(TextEncodingTest, EncodeFailsOrSubstitutes) {
  const EncodeCase cases[] = {
      {"caf\xC3\xA9", TextEncoding::IsoLatin1(), std::nullopt, "caf\xE9"},
      {"\xE2\x82\xAC", TextEncoding::IsoLatin1(), std::nullopt, std::nullopt},
      {"\xE2\x82\xAC", TextEncoding::IsoLatin1(), '?', "?"},
      {"\xE2\x82\xAC", TextEncoding::WindowsLatin1(), std::nullopt, "\x80"},
      {"\xC6\x92\xC3\xA9", TextEncoding::MacRoman(), std::nullopt, "\xC4\x8E"},
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", TextEncoding::MacRoman(), 'A', "AA.txt"},
      {"A", TextEncoding::Utf16BigEndian(), std::nullopt, std::string("\x00\x41", 2)},
      {"\xF0\x9F\x98\x80", TextEncoding::Utf16LittleEndian(), '?', std::string("\x3D\xD8\x00\xDE", 4)},
      {"abc", TextEncoding::Ascii(), std::nullopt, "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeText(c.text, c.encoding, c.substitute), c.expected) << c.text << " " << c.encoding.Name();
  }
}

TEST(TextEncodingTest, RoundTripThroughEachEncoding) {
  const std::string text = "Caf\xC3\xA9 \xC3\xBC\xC3\x9F";  // Café üß: in every encoding below
  for (const TextEncoding& e :
       {TextEncoding::Utf8(), TextEncoding::IsoLatin1(), TextEncoding::WindowsLatin1(),
        TextEncoding::MacRoman(), TextEncoding::Utf16(), TextEncoding::Utf16LittleEndian()}) {
    const auto bytes = EncodeText(text, e);
    ASSERT_TRUE(bytes) << e.Name();
    EXPECT_EQ(DecodeText(*bytes, e), text) << e.Name();
  }
}

TEST(TextEncodingTest, NamesResolveLikeCharsetParameters) {
  EXPECT_EQ(TextEncoding::FromName("ISO-8859-1"), TextEncoding::IsoLatin1());
  EXPECT_EQ(TextEncoding::FromName("latin1"), TextEncoding::IsoLatin1());
  EXPECT_EQ(TextEncoding::FromName("windows-1252"), TextEncoding::WindowsLatin1());
  EXPECT_EQ(TextEncoding::FromName("utf-8"), TextEncoding::Utf8());
  EXPECT_EQ(TextEncoding::FromName("macintosh"), TextEncoding::MacRoman());
  EXPECT_FALSE(TextEncoding::FromName("x-no-such-charset"));
  EXPECT_FALSE(TextEncoding::FromName(""));
}

TEST(TextEncodingTest, Utf8ElseLatin1) {
  EXPECT_EQ(DecodeUtf8OrLatin1("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(DecodeUtf8OrLatin1("caf\xE9"), "caf\xC3\xA9");
}

}  // namespace
}  // namespace values
