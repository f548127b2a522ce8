// The HTTP read stream against the scripted server, nginx and tinyproxy, read in small
// grants on the test thread's run loop.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/net/http_authentication.h"
#include "platform/net/http_read_stream.h"
#include "platform/net/listening_socket.h"
#include "tests/platform/net/net_test_support.h"
#include "tests/servers/test_servers.h"

namespace net {
namespace {

using net::testing::RunUntil;
using testservers::ScriptedHttpServer;

struct Outcome {
  bool ended = false;
  StreamError error;
  std::string body;
  bool head_at_first_bytes = false;
  int has_bytes_events = 0;
  int descriptor_at_first_bytes = -1;
  std::optional<HttpResponseHead> head;
  CertificateChain peer;
  std::string final_url;
};

HttpRequest Get(const std::string& url) {
  return HttpRequest("GET", *values::Url::Create(url));
}

// Runs the stream to its end or error, reading `grant` bytes per has-bytes event.
Outcome RunStream(HttpReadStream& stream, std::size_t grant = 300,
                  std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
  Outcome out;
  stream.SetClient(kEventAll, [&](StreamEvent e) {
    if (e == kEventHasBytes) {
      if (out.has_bytes_events++ == 0) {
        out.head_at_first_bytes = stream.ResponseHead() != nullptr;
        out.descriptor_at_first_bytes = stream.Descriptor();
      }
      std::string buf(grant, '\0');
      const std::ptrdiff_t n = stream.Read(buf.data(), grant);
      if (n > 0) out.body.append(buf, 0, static_cast<std::size_t>(n));
    } else if (e == kEventEnd) {
      out.ended = true;
    } else if (e == kEventError) {
      out.error = stream.Error();
    }
  });
  EXPECT_TRUE(stream.Open());
  EXPECT_TRUE(RunUntil([&] { return out.ended || out.error; }, limit)) << stream.Request().Url().String();
  if (stream.ResponseHead()) out.head = *stream.ResponseHead();
  out.peer = stream.PeerCertificates();
  out.final_url = stream.FinalUrl().String();
  return out;
}

Outcome Fetch(HttpRequest request, ProxySettings proxies = {}) {
  HttpReadStream stream(std::move(request));
  stream.SetProxySettings(std::move(proxies));
  return RunStream(stream);
}

class HttpReadStreamScriptedTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ok()); }
  ScriptedHttpServer server_;
};

TEST_F(HttpReadStreamScriptedTest, FramingsDeliverTheExactBodyAndCutBodiesAreErrors) {
  struct Case {
    const char* path;
    bool complete;
  } cases[] = {
      {"/ok", true}, {"/chunked", true}, {"/until-close", true}, {"/cut", false}, {"/cut-chunked", false}};
  const std::string body = ScriptedHttpServer::Body();
  for (const Case& c : cases) {
    Outcome out = Fetch(Get(server_.Url(c.path)));
    ASSERT_TRUE(out.head) << c.path;
    EXPECT_EQ(out.head->StatusCode(), 200) << c.path;
    EXPECT_TRUE(out.head_at_first_bytes) << c.path;
    EXPECT_GE(out.descriptor_at_first_bytes, 0) << c.path;
    if (c.complete) {
      EXPECT_TRUE(out.ended) << c.path << " " << DescribeError(out.error);
      EXPECT_FALSE(out.error) << c.path;
      EXPECT_TRUE(out.body == body) << c.path << ": " << out.body.size() << " bytes";
    } else {
      EXPECT_FALSE(out.ended) << c.path;
      EXPECT_EQ(out.error, (StreamError{ErrorDomain::kHttp, http_code::kBodyCutShort})) << c.path;
      // What did arrive is offered before the error, byte for byte.
      EXPECT_FALSE(out.body.empty()) << c.path;
      EXPECT_EQ(out.body, body.substr(0, out.body.size())) << c.path;
    }
  }
}

TEST_F(HttpReadStreamScriptedTest, AnUnreadableContentLengthIsAnErrorNotAWholeBody) {
  Outcome out = Fetch(Get(server_.Url("/bad-length")));
  EXPECT_FALSE(out.ended);
  EXPECT_EQ(out.error, (StreamError{ErrorDomain::kHttp, http_code::kBadResponse}));
}

TEST_F(HttpReadStreamScriptedTest, ContentEncodingIsNotUndone) {
  HttpRequest req = Get(server_.Url("/gzip"));
  req.SetHeader("Accept-Encoding", "identity");
  Outcome out = Fetch(std::move(req));
  ASSERT_TRUE(out.ended);
  EXPECT_EQ(out.head->Header("Content-Encoding"), "gzip");
  ASSERT_GE(out.body.size(), 2u);
  EXPECT_EQ(out.body.substr(0, 2), "\x1f\x8b");
}

TEST_F(HttpReadStreamScriptedTest, RedirectsAreDeliveredOrFollowedByTheSwitch) {
  // Off: the 302 itself, with an empty body, its head readable at the end.
  Outcome shown = Fetch(Get(server_.Url("/dir/redirect-relative")));
  EXPECT_TRUE(shown.ended);
  ASSERT_TRUE(shown.head);
  EXPECT_EQ(shown.head->StatusCode(), 302);
  EXPECT_EQ(shown.head->Header("Location"), "../ok?from=redirect");
  EXPECT_TRUE(shown.body.empty());

  // On: followed, and the final URL tells where the body came from.
  HttpReadStream follow(Get(server_.Url("/dir/redirect-relative")));
  follow.SetProxySettings({});
  follow.SetAutoRedirect(true);
  Outcome followed = RunStream(follow);
  EXPECT_TRUE(followed.ended);
  EXPECT_EQ(followed.head->StatusCode(), 200);
  EXPECT_EQ(followed.final_url, server_.Url("/ok?from=redirect"));
  EXPECT_EQ(follow.RedirectsFollowed(), 1);
  EXPECT_TRUE(followed.body == ScriptedHttpServer::Body());

  // Past the bound: an error, not a loop.
  HttpReadStream bounded(Get(server_.Url("/dir/redirect-relative")));
  bounded.SetProxySettings({});
  bounded.SetAutoRedirect(true, 0);
  EXPECT_EQ(RunStream(bounded).error, (StreamError{ErrorDomain::kHttp, http_code::kRedirectionLoop}));
}

TEST_F(HttpReadStreamScriptedTest, TheStreamReportsEachAnswerToTheAppliedAuthentication) {
  Outcome challenge = Fetch(Get(server_.Url("/basic")));
  ASSERT_TRUE(challenge.ended);
  ASSERT_EQ(challenge.head->StatusCode(), 401);
  auto auth = HttpAuthentication::CreateFromResponse(*challenge.head);

  HttpRequest wrong = Get(server_.Url("/basic"));
  ASSERT_TRUE(auth->ApplyCredentials(wrong, ScriptedHttpServer::kUser, "wrong"));
  EXPECT_EQ(Fetch(std::move(wrong)).head->StatusCode(), 401);
  EXPECT_FALSE(auth->IsValid());  // told by the stream, not by the test

  auto fresh = HttpAuthentication::CreateFromResponse(*challenge.head);
  HttpRequest right = Get(server_.Url("/basic"));
  fresh->ApplyCredentials(right, ScriptedHttpServer::kUser, ScriptedHttpServer::kPassword);
  Outcome ok = Fetch(std::move(right));
  EXPECT_EQ(ok.head->StatusCode(), 200);
  EXPECT_TRUE(fresh->IsValid());
  EXPECT_TRUE(ok.body == ScriptedHttpServer::Body());
}

TEST_F(HttpReadStreamScriptedTest, ASilentServerGetsNoTimeOutAndCloseStopsEverything) {
  HttpReadStream stream(Get(server_.Url("/silent")));
  stream.SetProxySettings({});
  int events_after_open = 0;
  bool opened = false;
  stream.SetClient(kEventAll, [&](StreamEvent e) {
    if (e == kEventOpenCompleted) {
      opened = true;
    } else {
      ++events_after_open;
    }
  });
  ASSERT_TRUE(stream.Open());
  RunUntil([] { return false; }, std::chrono::milliseconds(300));
  EXPECT_TRUE(opened);
  EXPECT_EQ(events_after_open, 0);
  EXPECT_EQ(stream.ResponseHead(), nullptr);
  stream.Close();
  RunUntil([] { return false; }, std::chrono::milliseconds(50));
  EXPECT_EQ(events_after_open, 0);
}

TEST(HttpReadStreamErrors, ConnectionRefusedIsAPosixError) {
  int port;
  {
    auto probe = ListeningSocket::Listen("127.0.0.1", 0, nullptr);
    ASSERT_TRUE(probe);
    port = probe->Port();
  }
  Outcome out = Fetch(Get("http://127.0.0.1:" + std::to_string(port) + "/"));
  EXPECT_EQ(out.error, (StreamError{ErrorDomain::kPosix, posix_code::kConnectionRefused}));
  EXPECT_FALSE(out.head);
}

// ---- nginx and tinyproxy

class HttpReadStreamRealServersTest : public ::testing::Test {
 protected:
  static std::map<std::string, testservers::TestIdentity> Identities() {
    return testservers::TrustOutcomeIdentities();
  }
  void SetUp() override {
    ASSERT_TRUE(nginx_.ok());
    std::ofstream(nginx_.WwwDir() + "/file.bin") << File();
  }
  static const std::string& File() {
    static const std::string file = net::testing::PatternBytes(100000);
    return file;
  }
  std::string Https(const std::string& server, const std::string& host = "localhost") const {
    return "https://" + host + ":" + std::to_string(nginx_.HttpsPort(server)) + "/file.bin";
  }
  std::string Http(const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(nginx_.HttpPort()) + "/file.bin";
  }
  Outcome FetchTls(const std::string& url, bool validate = true, ProxySettings proxies = {},
                   HttpRequest* request = nullptr) {
    HttpReadStream stream(request ? *request : Get(url));
    stream.SetProxySettings(std::move(proxies));
    stream.SetUseSystemRoots(false);
    stream.SetTrustedCertificates({*Certificate::FromPem(testservers::TestCa().certificate_pem)});
    stream.SetValidateChain(validate);
    return RunStream(stream, 4096);
  }
  testservers::NginxServer nginx_{Identities()};
};

TEST_F(HttpReadStreamRealServersTest, HttpsTrustOutcomesAndPeerCertificates) {
  struct Case {
    const char* server;
    bool validate;
    int expected;  // 0: the file arrives
  } cases[] = {{"good", true, 0},
               {"selfsigned", true, tls_code::kUnknownRoot},
               {"expired", true, tls_code::kExpired},
               {"wronghost", true, tls_code::kHostNameMismatch},
               {"selfsigned", false, 0}};
  for (const Case& c : cases) {
    Outcome out = FetchTls(Https(c.server), c.validate);
    EXPECT_FALSE(out.peer.empty()) << c.server;
    if (c.expected == 0) {
      EXPECT_TRUE(out.ended) << c.server << " " << DescribeError(out.error);
      EXPECT_TRUE(out.body == File()) << c.server;
    } else {
      EXPECT_EQ(out.error, (StreamError{ErrorDomain::kSsl, c.expected})) << c.server;
      EXPECT_FALSE(out.head) << c.server;
    }
  }
}

TEST_F(HttpReadStreamRealServersTest, KeepAliveReusesTheConnectionOnlyWhenAsked) {
  for (bool keep_alive : {false, true}) {
    bool reused_second = false;
    for (int i = 0; i < 2; ++i) {
      HttpReadStream stream(Get(Http()));
      stream.SetProxySettings({});
      stream.SetKeepAlive(keep_alive);
      Outcome out = RunStream(stream, 1000);
      EXPECT_TRUE(out.ended);
      EXPECT_TRUE(out.body == File());
      if (i == 1) reused_second = stream.ConnectionWasReused();
    }
    EXPECT_EQ(reused_second, keep_alive);
  }
}

TEST_F(HttpReadStreamRealServersTest, RangeRequestGetsTheTail) {
  HttpRequest req = Get(Http());
  req.SetHeader("Range", "bytes=99990-");
  Outcome out = Fetch(std::move(req));
  EXPECT_EQ(out.head->StatusCode(), 206);
  EXPECT_EQ(out.body, File().substr(99990));
}

// Loopback names never go through a proxy, so the target is named "127.1": the same
// address, spelled in a way only the proxy's resolver reads as loopback.
TEST_F(HttpReadStreamRealServersTest, ProxyAbsoluteFormAndConnectTunnelWithCredentials) {
  testservers::TinyproxyServer proxy("puser", "ppass");
  ASSERT_TRUE(proxy.ok());
  ProxySettings via;
  via.http = ProxyServer{"127.0.0.1", proxy.Port()};
  via.https = via.http;
  ASSERT_TRUE(via.ProxyFor(*values::Url::Create(Http("127.1"))));

  Outcome refused = Fetch(Get(Http("127.1")), via);
  ASSERT_TRUE(refused.head);
  EXPECT_EQ(refused.head->StatusCode(), 407);
  auto auth = HttpAuthentication::CreateFromResponse(*refused.head);
  ASSERT_TRUE(auth->IsForProxy());

  HttpRequest with = Get(Http("127.1"));
  auth->ApplyCredentials(with, "puser", "ppass");
  Outcome ok = Fetch(std::move(with), via);
  EXPECT_EQ(ok.head->StatusCode(), 200);
  EXPECT_TRUE(ok.body == File());

  // https: CONNECT; a 407 to it comes back as the response, with its head.
  Outcome tunnel_refused = FetchTls(Https("good", "127.1"), false, via);
  ASSERT_TRUE(tunnel_refused.head) << DescribeError(tunnel_refused.error);
  EXPECT_EQ(tunnel_refused.head->StatusCode(), 407);
  EXPECT_TRUE(tunnel_refused.head->Header("Proxy-Authenticate"));

  HttpRequest tunnelled = Get(Https("good", "127.1"));
  auth->ApplyCredentials(tunnelled, "puser", "ppass");
  Outcome inner = FetchTls("", false, via, &tunnelled);
  EXPECT_TRUE(inner.ended) << DescribeError(inner.error);
  EXPECT_EQ(inner.head->StatusCode(), 200);
  EXPECT_TRUE(inner.body == File());
  EXPECT_FALSE(inner.peer.empty());
  EXPECT_TRUE(auth->IsValid());
}

}  // namespace
}  // namespace net
