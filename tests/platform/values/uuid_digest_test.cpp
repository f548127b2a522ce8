#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "platform/values/digest.h"
#include "platform/values/uuid.h"

namespace values {
namespace {

TEST(UuidTest, NewIdentifiersAreUpperCaseAndDistinct) {
  const std::regex shape("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string text = NewUuidString();
    EXPECT_TRUE(std::regex_match(text, shape)) << text;
    seen.insert(text);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(UuidTest, ParseAndWrite) {
  const std::uint8_t raw[16] = {0x68, 0x75, 0x3A, 0x44, 0x4D, 0x6F, 0x12, 0x26,
                                0x9C, 0x60, 0x00, 0x50, 0xE4, 0xC0, 0x00, 0x67};
  const Uuid known = Uuid::FromBytes(raw);
  EXPECT_EQ(known.ToString(), "68753A44-4D6F-1226-9C60-0050E4C00067");
  EXPECT_EQ(Uuid::Parse("68753a44-4d6f-1226-9c60-0050e4c00067"), known);
  EXPECT_EQ(Uuid::Parse("B575E94D-74FA-4401-BE97-547FD7B4F474")->ToString(),
            "B575E94D-74FA-4401-BE97-547FD7B4F474");
  EXPECT_TRUE(Uuid::Parse("00000000-0000-0000-0000-000000000000")->IsNull());
  EXPECT_FALSE(known.IsNull());
  for (const char* bad :
       {"", "xyz", "68753A44-4D6F-1226-9C60-0050E4C0006", "{68753A44-4D6F-1226-9C60-0050E4C00067}",
        "68753A44X4D6F-1226-9C60-0050E4C00067", "G8753A44-4D6F-1226-9C60-0050E4C00067"}) {
    EXPECT_FALSE(Uuid::Parse(bad)) << bad;
  }
}

struct DigestCase {
  DigestAlgorithm algorithm;
  std::string input;
  const char* hex;
};

TEST(DigestTest, KnownVectors) {
  const std::string fox = "The quick brown fox jumps over the lazy dog";
  const DigestCase cases[] = {
      {DigestAlgorithm::kMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {DigestAlgorithm::kMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {DigestAlgorithm::kMd5, fox, "9e107d9d372bb6826bd81d3542a419d6"},
      {DigestAlgorithm::kSha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {DigestAlgorithm::kSha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {DigestAlgorithm::kSha1, fox, "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
      {DigestAlgorithm::kSha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {DigestAlgorithm::kMd5, std::string("\0\xff", 2), "d07d34efac6328007ad67c7e0a985e00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexLower(ComputeDigest(c.algorithm, c.input)), c.hex) << c.input;
    EXPECT_EQ(ComputeDigest(c.algorithm, c.input).size(), Digester::SizeOf(c.algorithm));
  }
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(HexUpper(ComputeDigest(DigestAlgorithm::kMd5, "abc")), "900150983CD24FB0D6963F7D28E17F72");
}

TEST(DigestTest, PiecewiseEqualsOneShot) {
  // A million "a": the classic long vector, fed in uneven pieces.
  Digester md5(DigestAlgorithm::kMd5);
  Digester sha1(DigestAlgorithm::kSha1);
  const std::string piece(999, 'a');
  std::size_t fed = 0;
  while (fed < 1000000) {
    const std::size_t n = std::min(piece.size(), 1000000 - fed);
    md5.Update(std::string_view(piece).substr(0, n));
    sha1.Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(piece.data()), n));
    fed += n;
  }
  EXPECT_EQ(HexLower(md5.Finish()), "7707d6ae4e027c70eea2a935c2296f21");
  EXPECT_EQ(HexLower(sha1.Finish()), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  // After Finish the digester starts afresh.
  EXPECT_EQ(HexLower(md5.Finish()), "d41d8cd98f00b204e9800998ecf8427e");
  md5.Update("ab");
  md5.Update("");
  md5.Update("c");
  EXPECT_EQ(HexLower(md5.Finish()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace values
