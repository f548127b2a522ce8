// The protocol pieces both ends share: the login digest, login lines, bounded line
// splitting, field lines, the password scramble of the users table.
#include "app/sharing/protocol/line_protocol.h"

#include <gtest/gtest.h>

#include "app/util/settings/sharing_password_scramble.h"
#include "platform/values/digest.h"

namespace sharing {
namespace {

TEST(LineProtocol, LoginResponseIsUpperHexMd5OfChallengeAndPassword) {
  // Computed with Python's hashlib, not with this code.
  EXPECT_EQ(LoginResponse("0123456789ABCDEF0123456789ABCDEF", "secret"), "1644D7F62C636B53255A5D286906318C");
  EXPECT_EQ(LoginResponse("0123456789ABCDEF0123456789ABCDEF", ""), "5392FAD6BEE373074DBD3EDFAE6506F2");
}

TEST(LineProtocol, GreetingCarriesAFreshChallenge) {
  const std::string a = MakeChallenge(), b = MakeChallenge();
  EXPECT_NE(a, b);
  ASSERT_EQ(a.size(), kChallengeLength);
  EXPECT_EQ(a.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  const std::string greeting = GreetingLine(a);
  EXPECT_EQ(greeting.size(), kGreetingLength);
  EXPECT_EQ(greeting, "TR5070<" + a + ">\r\n");
}

TEST(LineProtocol, LoginLines) {
  struct Case {
    std::string line;
    bool parsed;
    std::string user;
    std::string response;
  } cases[] = {
      {"bob*/*/ABC", true, "bob", "ABC"},
      {"*/*/ABC", true, "Guest", "ABC"},
      {"guest*/*/", true, "Guest", ""},
      {"Guest*/*/X*/*/Y", true, "Guest", "X*/*/Y"},
      {"GUEST*/*/X", true, "GUEST", "X"},
      {"NAME", false, "", ""},
      {std::string(200, 'u') + "*/*/R", true, std::string(128, 'u'), "R"},
      // A name cut in the middle of a character loses the whole character.
      {std::string(127, 'u') + "\xC3\xA9*/*/R", true, std::string(127, 'u'), "R"},
  };
  for (const auto& c : cases) {
    const auto login = ParseLoginLine(c.line);
    ASSERT_EQ(login.has_value(), c.parsed) << c.line;
    if (!login) continue;
    EXPECT_EQ(login->user, c.user) << c.line;
    EXPECT_EQ(login->response, c.response) << c.line;
  }
  EXPECT_EQ(LoginLine("", "C", "p"), "Guest*/*/" + LoginResponse("C", "p") + "\r\n");
}

TEST(LineProtocol, LineBufferKeepsPartialLinesAcrossReadsWithinItsLimit) {
  LineBuffer lines(16);
  EXPECT_TRUE(lines.Append(std::string_view("NA")));
  EXPECT_FALSE(lines.NextLine());
  EXPECT_TRUE(lines.Append(std::string_view("ME\r\nFOLDERS\r\nIT")));
  EXPECT_EQ(lines.NextLine(), "NAME");
  EXPECT_EQ(lines.NextLine(), "FOLDERS");
  EXPECT_FALSE(lines.NextLine());
  EXPECT_TRUE(lines.Append(std::string_view("EMS\r")));
  EXPECT_FALSE(lines.NextLine());
  EXPECT_TRUE(lines.Append(std::string_view("\n")));
  EXPECT_EQ(lines.NextLine(), "ITEMS");

  // A line that outgrows the limit, whole or piece by piece, ends the buffer.
  LineBuffer whole(16);
  EXPECT_FALSE(whole.Append(std::string(17, 'x') + "\r\n"));
  LineBuffer pieces(16);
  for (int i = 0; i < 8; ++i) EXPECT_TRUE(pieces.Append(std::string_view("xx")));
  EXPECT_FALSE(pieces.Append(std::string_view("x")));
  EXPECT_TRUE(pieces.overflowed());
  EXPECT_FALSE(pieces.Append(std::string_view("\r\n")));
  EXPECT_FALSE(pieces.NextLine());
}

TEST(LineProtocol, SplitHeaderLine) {
  std::string_view name, value;
  std::size_t consumed = 0;
  EXPECT_EQ(SplitHeaderLine("UID:7\r\nName:x", name, value, consumed), 0);
  EXPECT_EQ(name, "UID");
  EXPECT_EQ(value, "7");
  EXPECT_EQ(consumed, 7u);
  EXPECT_EQ(SplitHeaderLine("URL:a\rb\r\n", name, value, consumed), 0);
  EXPECT_EQ(value, "a\rb");
  EXPECT_EQ(SplitHeaderLine("UID:7", name, value, consumed), -1);
  EXPECT_EQ(SplitHeaderLine("no colon\r\nUID:1\r\n", name, value, consumed), -2);
}

TEST(LineProtocol, FieldValuesCannotEndTheirFieldEarly) {
  EXPECT_EQ(FieldValue("a\r\nItemEnd:\r\nb"), "a  ItemEnd:  b");
  EXPECT_EQ(FieldValue("http://a\rhttp://b\r\n", true), "http://a\rhttp://b");
  EXPECT_EQ(FieldValue("http://a\nhttp://b", true), "http://a\rhttp://b");
}

TEST(LineProtocol, DatesSince1904) {
  EXPECT_EQ(SecondsSince1904(0), 3061152000u);
  EXPECT_EQ(AbsoluteTimeFrom1904(3061152000u + 60), 60.0);
  EXPECT_EQ(SecondsSince1904(-4e9), 0u);
}

TEST(SharingPasswordScramble, KnownAnswersAndRoundTrip) {
  // Worked by hand from the scramble's definition (see the header).
  struct Case {
    std::string user, password, hex;
  } cases[] = {
      {"bob", "pass1234", "550e7e415ebeae5b"},
      {"Alice", "s3cr\xC3\xA9t", "05f5f89584aacf"},
      {"Guest", "", ""},
      {"", "plain", "616c70696e"},  // only the swaps
  };
  for (const auto& c : cases) {
    const values::Bytes stored = util::EncodeSharingPassword(c.password, c.user);
    EXPECT_EQ(values::HexLower(stored), c.hex) << c.user;
    EXPECT_EQ(util::DecodeSharingPassword(stored, c.user), c.password) << c.user;
  }
}

}  // namespace
}  // namespace sharing
