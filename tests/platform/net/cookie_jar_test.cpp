#include "platform/net/cookie_jar.h"

#include <gtest/gtest.h>

namespace net {
namespace {

constexpr std::int64_t kNow = 1700000000;  // 2023-11-14 22:13:20 GMT

values::Url U(const char* s) {
  return *values::Url::Create(s);
}

struct SetCookieCase {
  const char* name;
  const char* url;
  const char* field;
  bool stored;
  const char* domain;
  bool host_only;
  const char* path;
  std::optional<std::int64_t> expires;
  bool secure;
};

class SetCookieTable : public ::testing::TestWithParam<SetCookieCase> {};

TEST_P(SetCookieTable, Parses) {
  const SetCookieCase& c = GetParam();
  auto cookie = ParseSetCookie(c.field, U(c.url), kNow);
  ASSERT_EQ(cookie.has_value(), c.stored);
  if (!cookie) return;
  EXPECT_EQ(cookie->domain, c.domain);
  EXPECT_EQ(cookie->host_only, c.host_only);
  EXPECT_EQ(cookie->path, c.path);
  EXPECT_EQ(cookie->expires, c.expires);
  EXPECT_EQ(cookie->secure, c.secure);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetCookieTable,
    ::testing::Values(
        SetCookieCase{"Defaults", "http://WWW.Example.com/dir/file.bin", "sid=1", true, "www.example.com",
                      true, "/dir", std::nullopt, false},
        SetCookieCase{"DefaultPathAtRoot", "http://example.com/file", "sid=1", true, "example.com", true, "/",
                      std::nullopt, false},
        SetCookieCase{"ParentDomain", "http://www.example.com/", "sid=1; Domain=.Example.com; Path=/a", true,
                      "example.com", false, "/a", std::nullopt, false},
        SetCookieCase{"SiblingDomainRefused", "http://www.example.com/", "sid=1; Domain=other.com", false, "",
                      false, "", std::nullopt, false},
        SetCookieCase{"TopLevelDomainRefused", "http://www.example.com/", "sid=1; Domain=com", false, "",
                      false, "", std::nullopt, false},
        SetCookieCase{"AddressOnlyItself", "http://127.0.0.1/", "sid=1; Domain=0.0.1", false, "", false, "",
                      std::nullopt, false},
        SetCookieCase{"Expires", "http://h.example/", "a=b; expires=Wed, 15 Nov 2023 22:13:20 GMT", true,
                      "h.example", true, "/", kNow + 86400, false},
        SetCookieCase{"OldExpiresForm", "http://h.example/", "a=b; Expires=Wednesday, 15-Nov-23 22:13:20 GMT",
                      true, "h.example", true, "/", kNow + 86400, false},
        SetCookieCase{"MaxAgeWinsOverExpires", "http://h.example/",
                      "a=b; Max-Age=60; Expires=Wed, 15 Nov 2023 22:13:20 GMT", true, "h.example", true, "/",
                      kNow + 60, false},
        SetCookieCase{"SecureAndHttpOnly", "https://h.example/x/", "a=b; Secure; HttpOnly", true, "h.example",
                      true, "/x", std::nullopt, true},
        SetCookieCase{"Empty", "http://h.example/", "", false, "", false, "", std::nullopt, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct MatchCase {
  const char* name;
  const char* url;
  std::vector<std::string> expected;  // names in order
};

class CookieMatchTable : public ::testing::TestWithParam<MatchCase> {
 protected:
  void SetUp() override {
    const values::Url setter = U("https://www.example.com/docs/index.html");
    jar_.SetFromResponse({"host=1", "domain=2; Domain=example.com; Path=/", "deep=3; Path=/docs/a",
                          "secure=4; Secure; Path=/", "gone=5; Max-Age=10; Path=/"},
                         setter, kNow);
  }
  CookieJar jar_;
};

TEST_P(CookieMatchTable, SendsTheRightCookies) {
  const MatchCase& c = GetParam();
  std::vector<std::string> names;
  // 20 seconds later, "gone" has expired.
  for (const Cookie& cookie : jar_.CookiesForUrl(U(c.url), kNow + 20)) names.push_back(cookie.name);
  EXPECT_EQ(names, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CookieMatchTable,
    ::testing::Values(
        MatchCase{"SameFolderOverHttps", "https://www.example.com/docs/x", {"host", "domain", "secure"}},
        MatchCase{
            "DeeperPathFirst", "https://www.example.com/docs/a/b", {"deep", "host", "domain", "secure"}},
        MatchCase{"PathPrefixIsNotAFolder", "https://www.example.com/docsx", {"domain", "secure"}},
        MatchCase{"PlainHttpNoSecure", "http://www.example.com/docs/", {"host", "domain"}},
        MatchCase{"SubDomainGetsDomainCookie", "http://a.b.example.com/", {"domain"}},
        MatchCase{"HostOnlyNotForParent", "https://example.com/docs/", {"domain"}},
        MatchCase{"OtherSite", "https://badexample.com/", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CookieJarTest, ReplacesSameNameDomainPathAndRemovesOnExpiry) {
  CookieJar jar;
  const values::Url url = U("http://h.example/");
  jar.SetFromResponse({"a=1", "a=2"}, url, kNow);
  ASSERT_EQ(jar.AllCookies().size(), 1u);
  EXPECT_EQ(jar.AllCookies()[0].value, "2");
  jar.SetFromResponse({"a=x; Max-Age=0"}, url, kNow);
  EXPECT_TRUE(jar.AllCookies().empty());
}

TEST(CookieDateTest, ReadsTheCommonFormsAndRefusesNonsense) {
  EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
  EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), 784111777);
  EXPECT_FALSE(ParseCookieDate("tomorrow"));
  EXPECT_FALSE(ParseCookieDate("Sun, 36 Nov 1994 08:49:37 GMT"));
}

}  // namespace
}  // namespace net
