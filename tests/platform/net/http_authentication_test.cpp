#include "platform/net/http_authentication.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <map>

namespace net {
namespace {

HttpResponseHead Challenge(int code, std::vector<std::string> fields) {
  HttpResponseHead head;
  head.SetStatus(11, code, "HTTP/1.1 " + std::to_string(code) + " X");
  for (auto& f : fields)
    head.MutableHeaders().Add(code == 407 ? "Proxy-Authenticate" : "WWW-Authenticate", f);
  return head;
}

std::string Md5(const std::string& s) {
  unsigned char d[16];
  unsigned n = 0;
  EVP_Digest(s.data(), s.size(), d, &n, EVP_md5(), nullptr);
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
  return hex;
}

std::map<std::string, std::string> DigestFields(std::string v) {
  std::map<std::string, std::string> out;
  v = v.substr(7);
  std::size_t i = 0;
  while (i < v.size()) {
    while (i < v.size() && (v[i] == ' ' || v[i] == ',')) ++i;
    std::size_t eq = v.find('=', i);
    std::string key = v.substr(i, eq - i);
    i = eq + 1;
    std::string val;
    if (v[i] == '"') {
      std::size_t end = v.find('"', i + 1);
      val = v.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      std::size_t end = v.find(',', i);
      if (end == std::string::npos) end = v.size();
      val = v.substr(i, end - i);
      i = end;
    }
    out[key] = val;
  }
  return out;
}

TEST(HttpAuthenticationTest, BasicFromAChallengeAndRefusedAttemptInvalidates) {
  auto auth = HttpAuthentication::CreateFromResponse(Challenge(401, {"Basic realm=\"files\""}));
  ASSERT_TRUE(auth->IsValid());
  EXPECT_EQ(auth->scheme(), HttpAuthentication::Scheme::kBasic);
  EXPECT_EQ(auth->Realm(), "files");
  HttpRequest req("GET", *values::Url::Create("http://h/f"));
  ASSERT_TRUE(auth->ApplyCredentials(req, "user", "pass"));
  EXPECT_EQ(req.Header("Authorization"), "Basic dXNlcjpwYXNz");
  ASSERT_EQ(req.AppliedAuthentications().size(), 1u);

  auth->NoteResponse(Challenge(200, {}));
  EXPECT_TRUE(auth->IsValid());
  auth->NoteResponse(Challenge(401, {"Basic realm=\"files\""}));
  StreamError why;
  EXPECT_FALSE(auth->IsValid(&why));
  EXPECT_EQ(why, (StreamError{ErrorDomain::kHttp, http_code::kAuthenticationBadPassword}));
  EXPECT_FALSE(auth->ApplyCredentials(req, "user", "pass"));
}

TEST(HttpAuthenticationTest, DigestAnswersWithQopAuthAndCountsNonces) {
  auto auth = HttpAuthentication::CreateFromResponse(Challenge(
      401, {"Basic realm=\"x\"",
            "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
            "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""}));
  ASSERT_EQ(auth->scheme(), HttpAuthentication::Scheme::kDigest);
  HttpRequest req("GET", *values::Url::Create("http://www.nowhere.org/dir/index.html"));
  ASSERT_TRUE(auth->ApplyCredentials(req, "Mufasa", "Circle Of Life"));
  auto f = DigestFields(*req.Header("Authorization"));
  EXPECT_EQ(f["username"], "Mufasa");
  EXPECT_EQ(f["uri"], "/dir/index.html");
  EXPECT_EQ(f["qop"], "auth");
  EXPECT_EQ(f["nc"], "00000001");
  EXPECT_EQ(f["opaque"], "5ccc069c403ebaf9f0171e9517f40e41");
  const std::string ha1 = Md5("Mufasa:testrealm@host.com:Circle Of Life");
  const std::string ha2 = Md5("GET:/dir/index.html");
  EXPECT_EQ(f["response"],
            Md5(ha1 + ":dcd98b7102dd2f0e8b11d0f600bfb0c093:00000001:" + f["cnonce"] + ":auth:" + ha2));
  ASSERT_TRUE(auth->ApplyCredentials(req, "Mufasa", "Circle Of Life"));
  EXPECT_EQ(DigestFields(*req.Header("Authorization"))["nc"], "00000002");
}

TEST(HttpAuthenticationTest, StaleDigestRenewsTheNonceAndStaysValid) {
  auto auth =
      HttpAuthentication::CreateFromResponse(Challenge(407, {"Digest realm=\"p\", nonce=\"n1\", qop=auth"}));
  EXPECT_TRUE(auth->IsForProxy());
  HttpRequest req("GET", *values::Url::Create("http://h/f"));
  auth->ApplyCredentials(req, "u", "p");
  ASSERT_TRUE(req.Header("Proxy-Authorization"));
  auth->NoteResponse(Challenge(407, {"Digest realm=\"p\", nonce=\"n2\", qop=auth, stale=TRUE"}));
  EXPECT_TRUE(auth->IsValid());
  auth->ApplyCredentials(req, "u", "p");
  auto f = DigestFields(*req.Header("Proxy-Authorization"));
  EXPECT_EQ(f["nonce"], "n2");
  EXPECT_EQ(f["nc"], "00000001");
  EXPECT_TRUE(HttpAuthentication::ChallengeIsStale("Digest realm=\"p\", stale=\"true\", nonce=x"));
  EXPECT_FALSE(HttpAuthentication::ChallengeIsStale("Digest realm=\"p\", nonce=x"));
}

TEST(HttpAuthenticationTest, UnsupportedSchemeIsInvalidFromTheStart) {
  auto auth = HttpAuthentication::CreateFromResponse(Challenge(401, {"NTLM", "Negotiate"}));
  StreamError why;
  EXPECT_FALSE(auth->IsValid(&why));
  EXPECT_EQ(why.code, http_code::kAuthenticationTypeUnsupported);
}

}  // namespace
}  // namespace net
