#include "app/engine/http/cookies_and_proxy_credentials.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

values::Url U(const char* s) {
  return *values::Url::Create(s);
}

TEST(CookieHeaderTest, PairsInKeyOrderNamelessAsValueNoTrailingSemicolon) {
  EXPECT_EQ(CookieHeaderFromDictionary({{"a", "1"}, {"", "x"}}), "x; a=1");
  EXPECT_EQ(CookieHeaderFromDictionary({{"a", "1"}, {"b", "2"}}), "a=1; b=2");
  EXPECT_EQ(CookieHeaderFromDictionary({}), std::nullopt);
  EXPECT_EQ(CookieHeaderFromDictionary({{"", ""}}), std::nullopt);
}

TEST(CopyCookiesForURLTest, OwnCookiesWinOnlyWhenAsked) {
  SharedCookieJar().Clear();
  const values::Url url = U("http://files.example/dl/file.zip");
  SharedCookieJar().SetFromResponse({"sid=B; Path=/", "stored=1; Path=/"}, url);
  const CookieDictionary own = {{"sid", "A"}, {"mine", "2"}};
  EXPECT_EQ(CopyCookiesForURL(url, &own, true),
            (CookieDictionary{{"mine", "2"}, {"sid", "A"}, {"stored", "1"}}));
  EXPECT_EQ(CopyCookiesForURL(url, &own, false),
            (CookieDictionary{{"mine", "2"}, {"sid", "B"}, {"stored", "1"}}));
  EXPECT_EQ(CopyCookiesForURL(url, nullptr, false), (CookieDictionary{{"sid", "B"}, {"stored", "1"}}));
  EXPECT_TRUE(CopyCookiesForURL(U("http://other.example/"), nullptr, false).empty());

  EXPECT_FALSE(CookiesDifferFromStorage(url, {{"sid", "b"}, {"unknown", "z"}}));  // case ignored
  EXPECT_TRUE(CookiesDifferFromStorage(url, {{"sid", "C"}}));
  SharedCookieJar().Clear();
}

TEST(CopyCookiesFromHeadersTest, TakesEverySetCookieField) {
  net::HttpResponseHead head;
  head.SetStatus(11, 302, "HTTP/1.1 302 Found");
  head.MutableHeaders().Add("Set-Cookie", "a=1; Path=/");
  head.MutableHeaders().Add("set-cookie", "b=2; Domain=elsewhere.example");  // refused: not this host's
  head.MutableHeaders().Add("Set-Cookie", "c=3");
  EXPECT_EQ(CopyCookiesFromHeaders(head, U("http://files.example/x")),
            (CookieDictionary{{"a", "1"}, {"c", "3"}}));
}

TEST(ProxyCredentialsTest, PairsAreKeptApartAndClearedByEmptyValues) {
  SetHTTPProxyCredentials("hu", "hp");
  SetFTPProxyCredentials("fu", std::nullopt);
  EXPECT_EQ(CopyHTTPProxyCredentials().user, "hu");
  EXPECT_EQ(CopyHTTPProxyCredentials().password, "hp");
  EXPECT_EQ(CopyFTPProxyCredentials().user, "fu");
  EXPECT_EQ(CopyFTPProxyCredentials().password, std::nullopt);
  SetHTTPProxyCredentials(std::nullopt, std::nullopt);
  EXPECT_EQ(CopyHTTPProxyCredentials().user, std::nullopt);
  EXPECT_EQ(CopyHTTPProxyCredentials().password, std::nullopt);
}

}  // namespace
}  // namespace engine
