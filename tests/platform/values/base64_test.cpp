#include "platform/values/base64.h"

#include <gtest/gtest.h>

using namespace values;

namespace {

Bytes B(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

TEST(Base64, EncodesWithPadding) {
  const struct {
    std::string_view plain, encoded;
  } cases[] = {{"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
               {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string_view("\xff\xfe\x00", 3), "//4A"}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64(c.plain), c.encoded);
    auto decoded = DecodeBase64(c.encoded);
    ASSERT_TRUE(decoded) << c.encoded;
    EXPECT_EQ(*decoded, B(c.plain));
  }
}

TEST(Base64, DecodeSkipsWhiteSpaceAndAllowsMissingPadding) {
  EXPECT_EQ(DecodeBase64("\n\tZm9v\n\tYmFy\n"), B("foobar"));
  EXPECT_EQ(DecodeBase64("Zm8"), B("fo"));
  EXPECT_EQ(DecodeBase64("Zg"), B("f"));
  EXPECT_EQ(DecodeBase64("Zg = = "), B("f"));
}

TEST(Base64, DecodeRefusesDamagedText) {
  for (std::string_view bad : {"Z", "Zm9vY", "Zm9v$", "Zg=", "Z===", "Zg==Zg==", "Zm9v=", "Zg==x", "Zm=8"}) {
    EXPECT_FALSE(DecodeBase64(bad)) << bad;
  }
}

}  // namespace
