// The request one connection sends: headers from the entry, the range and the download.
#include <gtest/gtest.h>

#include "app/engine/http/http_request_builder.h"
#include "tests/fakes/auth_items_service_fake.h"

namespace engine {
namespace {

values::Url U(const char* text) {
  return *values::Url::Create(text);
}

class HttpRequestBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SharedCookieJar().Clear();
    SetHTTPProxyCredentials(std::nullopt, std::nullopt);
    auto fake = std::make_unique<browser::FakeAuthItemsService>();
    auth_ = fake.get();
    browser::AuthItemsServiceSlot::Set(std::move(fake));
  }
  void TearDown() override { browser::AuthItemsServiceSlot::Set(nullptr); }

  net::HttpRequest Build(HttpRequestInput input) {
    if (!input.entry) input.entry = &entry_;
    auto built = BuildHttpRequest(input);
    EXPECT_TRUE(built.request);
    return built.request ? *built.request : net::HttpRequest("GET", input.url);
  }

  values::Value entry_{values::Dictionary{{"url", values::Value("http://127.0.0.1/f.bin")}}};
  browser::FakeAuthItemsService* auth_ = nullptr;
};

TEST_F(HttpRequestBuilderTest, APlainGetAsksForIdentityAndNoRange) {
  HttpRequestInput in;
  in.url = U("http://127.0.0.1/f.bin");
  in.userAgent = "Agent/1";
  const auto r = Build(in);
  EXPECT_EQ(r.Method(), "GET");
  EXPECT_EQ(r.Header("Accept-Encoding"), "identity");
  EXPECT_EQ(r.Header("Accept"), "*/*");
  EXPECT_EQ(r.Header("Accept-Language"), "*");
  EXPECT_EQ(r.Header("User-Agent"), "Agent/1");
  EXPECT_FALSE(r.Header("Range"));
  EXPECT_FALSE(r.Header("If-Range"));
  EXPECT_FALSE(r.Header("Authorization"));
  EXPECT_FALSE(r.Header("Cookie"));
  EXPECT_FALSE(r.Header("Referer"));
}

TEST_F(HttpRequestBuilderTest, AResumedRangeIsOpenEndedAndConditionalOnceAsked) {
  HttpRequestInput in;
  in.url = U("http://127.0.0.1/f.bin");
  in.range = {5000, kOpenEndLength};
  auto r = Build(in);
  EXPECT_EQ(r.Header("Range"), "bytes=5000-");
  EXPECT_FALSE(r.Header("If-Range"));

  auto& d = *entry_.AsDictionary();
  d["dateString"] = values::Value("Sun, 06 Nov 1994 08:49:37 GMT");
  d["ETag"] = values::Value("\"v1\"");
  r = Build(in);
  EXPECT_FALSE(r.Header("If-Range")) << "only after the server ignored a plain range";
  d["useIfRange"] = values::Value(true);
  EXPECT_EQ(Build(in).Header("If-Range"), "Sun, 06 Nov 1994 08:49:37 GMT");
  d.erase("dateString");
  EXPECT_EQ(Build(in).Header("If-Range"), "\"v1\"");
  d["ETag"] = values::Value("W/\"weak\"");
  EXPECT_FALSE(Build(in).Header("If-Range")) << "a weak tag cannot guard a range";
}

TEST_F(HttpRequestBuilderTest, FormDataMakesAPostAndTheRefererIsSent) {
  auto& d = *entry_.AsDictionary();
  d["formdata"] = values::Value(values::Data{{'a', '=', '1'}});
  d["referer"] = values::Value("http://127.0.0.1/page.html");
  HttpRequestInput in;
  in.url = U("http://127.0.0.1/f.bin");
  const auto r = Build(in);
  EXPECT_EQ(r.Method(), "POST");
  EXPECT_EQ(r.Body(), "a=1");
  EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.Header("Content-Length"), "3");
  EXPECT_EQ(r.Header("Referer"), "http://127.0.0.1/page.html");
}

TEST_F(HttpRequestBuilderTest, CookiesMergeTheEntrysWithTheJarAndAreStoredBack) {
  SharedCookieJar().SetFromResponse({"sid=stored; Path=/"}, U("http://127.0.0.1/"));
  auto& d = *entry_.AsDictionary();
  d["cookie"] = values::Value(values::Dictionary{{"sid", values::Value("own")}, {"x", values::Value("1")}});
  HttpRequestInput in;
  in.url = U("http://127.0.0.1/f.bin");
  in.entry = &entry_;
  auto built = BuildHttpRequest(in);
  ASSERT_TRUE(built.request);
  EXPECT_EQ(built.request->Header("Cookie"), "sid=stored; x=1");
  EXPECT_EQ(*built.cookies.at("sid").AsString(), "stored");
  d["java script priority"] = values::Value(true);
  built = BuildHttpRequest(in);
  EXPECT_EQ(built.request->Header("Cookie"), "sid=own; x=1");
}

TEST_F(HttpRequestBuilderTest, CredentialsGoOutOnlyToAnswerAChallenge) {
  HttpRequestInput in;
  in.url = U("http://127.0.0.1:8080/dir/f.bin");
  in.user = "u";
  in.password = "p";
  EXPECT_FALSE(Build(in).Header("Authorization"));

  net::HttpResponseHead challenge;
  challenge.SetStatus(11, 401, "HTTP/1.1 401 Unauthorized");
  challenge.MutableHeaders().Add("WWW-Authenticate", "Basic realm=\"r\"");
  in.authentication = net::HttpAuthentication::CreateFromResponse(challenge);
  EXPECT_EQ(Build(in).Header("Authorization"), net::BasicAuthorizationValue("u", "p"));
}

TEST_F(HttpRequestBuilderTest, CredentialsComeFromTheDownloadThenTheUrlThenTheStore) {
  const auto url = U("https://127.0.0.1/a/b/f.bin");
  EXPECT_EQ(ResolveHttpCredentials(url, "d", "dp")->user, "d");
  EXPECT_EQ(ResolveHttpCredentials(U("http://me@127.0.0.1/f"), std::nullopt, std::nullopt)->password, "");
  EXPECT_EQ(ResolveHttpCredentials(U("http://me:pw@127.0.0.1/f"), "only-user", std::nullopt)->password, "pw");

  EXPECT_FALSE(ResolveHttpCredentials(url, std::nullopt, std::nullopt));
  ASSERT_EQ(auth_->lookups.size(), 1u);
  EXPECT_EQ(auth_->lookups[0], std::make_tuple(std::string("127.0.0.1:443"), std::string("/a/b/f.bin/"),
                                               browser::kAuthItemTypeHTTPS));
  auth_->items.push_back({"127.0.0.1:443", browser::AuthItem{"127.0.0.1", "stored", "spw", "/a/", 2}});
  EXPECT_EQ(ResolveHttpCredentials(url, std::nullopt, std::nullopt)->user, "stored");
  EXPECT_FALSE(ResolveHttpCredentials(U("http://127.0.0.1:8080/a/f"), std::nullopt, std::nullopt));
  EXPECT_EQ(std::get<0>(auth_->lookups.back()), "127.0.0.1:8080");
}

TEST_F(HttpRequestBuilderTest, AChallengeWithoutCredentialsBuildsNothing) {
  net::HttpResponseHead challenge;
  challenge.SetStatus(11, 401, "HTTP/1.1 401 Unauthorized");
  challenge.MutableHeaders().Add("WWW-Authenticate", "Basic realm=\"r\"");
  HttpRequestInput in;
  in.url = U("http://127.0.0.1/f.bin");
  in.entry = &entry_;
  in.authentication = net::HttpAuthentication::CreateFromResponse(challenge);
  EXPECT_FALSE(BuildHttpRequest(in).request);
}

TEST_F(HttpRequestBuilderTest, ProxyCredentialsAnswerTheProxysChallengeAndNeverTheLog) {
  SetHTTPProxyCredentials("pu", "ppw");
  net::HttpResponseHead challenge;
  challenge.SetStatus(11, 407, "HTTP/1.1 407 Proxy Authentication Required");
  challenge.MutableHeaders().Add("Proxy-Authenticate", "Basic realm=\"proxy\"");
  HttpRequestInput in;
  in.url = U("http://127.1/f.bin");
  in.proxyAuthentication = net::HttpAuthentication::CreateFromResponse(challenge);
  const auto r = Build(in);
  EXPECT_EQ(r.Header("Proxy-Authorization"), net::BasicAuthorizationValue("pu", "ppw"));
  EXPECT_EQ(r.HeadForLog().find("ppw"), std::string::npos);
  EXPECT_EQ(r.HeadForLog().find(net::BasicAuthorizationValue("pu", "ppw")), std::string::npos);
}

}  // namespace
}  // namespace engine
