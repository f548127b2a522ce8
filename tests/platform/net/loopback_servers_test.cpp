// The message, framing, authentication and TLS pieces against real servers, driven by
// a small blocking client (the run-loop streams are tested on their own).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>

#include "platform/net/http_authentication.h"
#include "platform/net/http_body_decoder.h"
#include "platform/net/http_message.h"
#include "platform/net/tls_session.h"
#include "tests/servers/test_servers.h"

namespace net {
namespace {

using testservers::ScriptedHttpServer;

struct Exchange {
  HttpResponseHead head;
  std::string body;
  HttpBodyDecoder::State end = HttpBodyDecoder::State::kError;
  StreamError tls_error;
  CertificateChain peer;
};

class BlockingConnection {
 public:
  explicit BlockingConnection(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{5, 0};  // bounds every test that waits on a server
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~BlockingConnection() { close(fd_); }
  bool connected() const { return connected_; }

  // Plain bytes, or through TLS once StartTls succeeded.
  void Send(const std::string& data) {
    if (!tls_) {
      ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      return;
    }
    std::size_t n;
    tls_->Write(data.data(), data.size(), n);
    Flush();
  }
  // Empty at the end of the stream.
  std::string Receive() {
    char buf[16384];
    if (!tls_) {
      ssize_t n = recv(fd_, buf, sizeof buf, 0);
      return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
    while (true) {
      std::size_t got = 0;
      TlsResult r = tls_->Read(buf, sizeof buf, got);
      Flush();
      if (r == TlsResult::kOk) return std::string(buf, got);
      if (r != TlsResult::kWouldBlock || !Pull()) return {};
    }
  }
  TlsResult StartTls(const std::string& host, TlsTrust trust) {
    tls_ = TlsSession::CreateClient(TlsContext::Client(), host, std::move(trust));
    while (true) {
      TlsResult r = tls_->Handshake();
      Flush();
      if (r != TlsResult::kWouldBlock) return r;
      if (!Pull()) return tls_->Handshake();
    }
  }
  TlsSession* tls() { return tls_.get(); }

 private:
  void Flush() {
    std::string out = tls_->TakeAllOutgoing();
    if (!out.empty()) ::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
  }
  bool Pull() {
    char buf[16384];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
      tls_->IncomingEnded();
      return false;
    }
    tls_->PutIncoming(buf, static_cast<std::size_t>(n));
    return true;
  }

  int fd_;
  bool connected_ = false;
  std::unique_ptr<TlsSession> tls_;
};

Exchange ReadResponse(BlockingConnection& c, const std::string& method) {
  Exchange ex;
  HttpHeadParser parser;
  std::string pending;
  while (parser.state() == HttpHeadParser::State::kNeedMore) {
    std::string in = c.Receive();
    if (in.empty()) return ex;
    std::size_t used = parser.Feed(in);
    pending = in.substr(used);
  }
  if (parser.state() != HttpHeadParser::State::kDone) return ex;
  ex.head = parser.TakeHead();
  HttpBodyDecoder decoder = HttpBodyDecoder::ForResponse(ex.head, method);
  while (decoder.state() == HttpBodyDecoder::State::kBody) {
    while (!pending.empty() && decoder.state() == HttpBodyDecoder::State::kBody) {
      auto step = decoder.Advance(pending, 700);  // small grants, as a limited download reads
      ex.body.append(pending, step.body_offset, step.body_size);
      pending.erase(0, step.consumed);
    }
    if (decoder.state() != HttpBodyDecoder::State::kBody) break;
    pending = c.Receive();
    if (pending.empty()) decoder.InputEnded();
  }
  ex.end = decoder.state();
  return ex;
}

Exchange Fetch(int port, HttpRequest& request, RequestTarget target = RequestTarget::kOrigin) {
  BlockingConnection c(port);
  EXPECT_TRUE(c.connected());
  c.Send(request.SerializeHead(target) + request.Body());
  return ReadResponse(c, request.Method());
}

HttpRequest Get(const std::string& url) {
  return HttpRequest("GET", *values::Url::Create(url));
}

class ScriptedServerTest : public ::testing::Test {
 protected:
  ScriptedHttpServer server_;
};

TEST_F(ScriptedServerTest, LengthChunkedAndCloseDelimitedBodiesArriveWhole) {
  ASSERT_TRUE(server_.ok());
  for (const char* path : {"/ok", "/chunked", "/until-close"}) {
    HttpRequest req = Get(server_.Url(path));
    Exchange ex = Fetch(server_.Port(), req);
    EXPECT_EQ(ex.head.StatusCode(), 200) << path;
    EXPECT_EQ(ex.end, HttpBodyDecoder::State::kDone) << path;
    EXPECT_EQ(ex.body, ScriptedHttpServer::Body()) << path;
  }
}

TEST_F(ScriptedServerTest, BodiesCutShortAreErrors) {
  for (const char* path : {"/cut", "/cut-chunked"}) {
    HttpRequest req = Get(server_.Url(path));
    Exchange ex = Fetch(server_.Port(), req);
    EXPECT_EQ(ex.end, HttpBodyDecoder::State::kError) << path;
    EXPECT_FALSE(ex.body.empty()) << path;
  }
}

TEST_F(ScriptedServerTest, ContentEncodingIsLeftAlone) {
  HttpRequest req = Get(server_.Url("/gzip"));
  req.SetHeader("Accept-Encoding", "identity");
  Exchange ex = Fetch(server_.Port(), req);
  EXPECT_EQ(ex.head.Header("content-encoding"), "gzip");
  ASSERT_GE(ex.body.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(ex.body[0]), 0x1f);  // the gzip magic, not the plain body
  EXPECT_EQ(static_cast<unsigned char>(ex.body[1]), 0x8b);
}

TEST_F(ScriptedServerTest, RelativeRedirectAndEverySetCookieAreReadable) {
  HttpRequest req = Get(server_.Url("/dir/redirect-relative"));
  Exchange ex = Fetch(server_.Port(), req);
  EXPECT_EQ(ex.head.StatusCode(), 302);
  auto next = values::Url::CreateAbsolute(*ex.head.Header("Location"), req.Url());
  ASSERT_TRUE(next);
  EXPECT_EQ(next->String(), server_.Url("/ok?from=redirect"));

  HttpRequest cookies = Get(server_.Url("/set-cookies"));
  Exchange ex2 = Fetch(server_.Port(), cookies);
  EXPECT_EQ(ex2.head.Headers().Values("set-cookie"),
            (std::vector<std::string>{"a=1; Path=/", "b=2, with comma; Max-Age=60"}));
}

TEST_F(ScriptedServerTest, BasicChallengeAnsweredAndWrongPasswordInvalidates) {
  HttpRequest first = Get(server_.Url("/basic"));
  Exchange challenge = Fetch(server_.Port(), first);
  ASSERT_EQ(challenge.head.StatusCode(), 401);
  auto auth = HttpAuthentication::CreateFromResponse(challenge.head);

  HttpRequest wrong = Get(server_.Url("/basic"));
  ASSERT_TRUE(auth->ApplyCredentials(wrong, ScriptedHttpServer::kUser, "wrong"));
  Exchange refused = Fetch(server_.Port(), wrong);
  for (auto& a : wrong.AppliedAuthentications()) a->NoteResponse(refused.head);
  StreamError why;
  EXPECT_FALSE(auth->IsValid(&why));
  EXPECT_EQ(why.domain, ErrorDomain::kHttp);

  auto fresh = HttpAuthentication::CreateFromResponse(challenge.head);
  HttpRequest right = Get(server_.Url("/basic"));
  fresh->ApplyCredentials(right, ScriptedHttpServer::kUser, ScriptedHttpServer::kPassword);
  Exchange ok = Fetch(server_.Port(), right);
  EXPECT_EQ(ok.head.StatusCode(), 200);
  EXPECT_EQ(ok.body, ScriptedHttpServer::Body());
}

TEST_F(ScriptedServerTest, DigestWithStaleNonceSucceedsOnTheRenewedNonce) {
  HttpRequest first = Get(server_.Url("/digest-stale"));
  Exchange challenge = Fetch(server_.Port(), first);
  ASSERT_EQ(challenge.head.StatusCode(), 401);
  auto auth = HttpAuthentication::CreateFromResponse(challenge.head);
  ASSERT_EQ(auth->scheme(), HttpAuthentication::Scheme::kDigest);

  int status = 0;
  for (int attempt = 0; attempt < 3 && status != 200; ++attempt) {
    HttpRequest req = Get(server_.Url("/digest-stale"));
    ASSERT_TRUE(auth->ApplyCredentials(req, ScriptedHttpServer::kUser, ScriptedHttpServer::kPassword));
    Exchange ex = Fetch(server_.Port(), req);
    status = ex.head.StatusCode();
    auth->NoteResponse(ex.head);
    if (status == 401) {
      EXPECT_TRUE(HttpAuthentication::ChallengeIsStale(*ex.head.Header("WWW-Authenticate")));
    }
    EXPECT_TRUE(auth->IsValid());
  }
  EXPECT_EQ(status, 200);
}

// ---- nginx and tinyproxy

class RealServersTest : public ::testing::Test {
 protected:
  static std::map<std::string, testservers::TestIdentity> Identities() {
    return testservers::TrustOutcomeIdentities();
  }
  void SetUp() override {
    ASSERT_TRUE(nginx_.ok());
    std::ofstream(nginx_.WwwDir() + "/file.bin") << std::string(100000, 'x');
  }
  TlsTrust CaTrust() const {
    TlsTrust t;
    t.use_system_roots = false;
    t.trusted_roots = {*Certificate::FromPem(testservers::TestCa().certificate_pem)};
    return t;
  }
  testservers::NginxServer nginx_{Identities()};
};

TEST_F(RealServersTest, HttpsFailuresMapToTheirCodesAndShowTheChain) {
  struct Case {
    const char* server;
    int expected;
  } cases[] = {{"good", 0},
               {"selfsigned", tls_code::kUnknownRoot},
               {"expired", tls_code::kExpired},
               {"wronghost", tls_code::kHostNameMismatch}};
  for (const Case& c : cases) {
    BlockingConnection conn(nginx_.HttpsPort(c.server));
    TlsResult r = conn.StartTls("localhost", CaTrust());
    if (c.expected == 0) {
      ASSERT_EQ(r, TlsResult::kOk) << c.server << " " << DescribeError(conn.tls()->Error());
      HttpRequest req = Get("https://localhost/file.bin");
      conn.Send(req.SerializeHead());
      Exchange ex = ReadResponse(conn, "GET");
      EXPECT_EQ(ex.head.StatusCode(), 200);
      EXPECT_EQ(ex.body.size(), 100000u);
    } else {
      EXPECT_EQ(r, TlsResult::kError) << c.server;
      EXPECT_EQ(conn.tls()->Error(), (StreamError{ErrorDomain::kSsl, c.expected})) << c.server;
      EXPECT_FALSE(conn.tls()->PeerCertificates().empty()) << c.server;
    }
  }
}

TEST_F(RealServersTest, RangeRequestsAgainstNginx) {
  HttpRequest req = Get("http://127.0.0.1:" + std::to_string(nginx_.HttpPort()) + "/file.bin");
  req.SetHeader("Range", "bytes=99990-");
  Exchange ex = Fetch(nginx_.HttpPort(), req);
  EXPECT_EQ(ex.head.StatusCode(), 206);
  EXPECT_EQ(ex.head.Header("Content-Range"), "bytes 99990-99999/100000");
  EXPECT_EQ(ex.body, std::string(10, 'x'));
}

TEST_F(RealServersTest, ProxyTakesAbsoluteFormAndTunnelsWithCredentials) {
  testservers::TinyproxyServer proxy("puser", "ppass");
  ASSERT_TRUE(proxy.ok());
  const std::string target = "http://127.0.0.1:" + std::to_string(nginx_.HttpPort()) + "/file.bin";

  HttpRequest bare = Get(target);
  Exchange refused = Fetch(proxy.Port(), bare, RequestTarget::kAbsolute);
  ASSERT_EQ(refused.head.StatusCode(), 407);
  auto auth = HttpAuthentication::CreateFromResponse(refused.head);
  ASSERT_TRUE(auth->IsForProxy());

  HttpRequest with = Get(target);
  auth->ApplyCredentials(with, "puser", "ppass");
  Exchange ok = Fetch(proxy.Port(), with, RequestTarget::kAbsolute);
  EXPECT_EQ(ok.head.StatusCode(), 200);
  EXPECT_EQ(ok.body.size(), 100000u);

  // CONNECT to the HTTPS server, then TLS and the request inside the tunnel.
  BlockingConnection conn(proxy.Port());
  const std::string authority = "127.0.0.1:" + std::to_string(nginx_.HttpsPort("good"));
  HttpRequest connect("CONNECT", *values::Url::Create("https://" + authority + "/"));
  auth->ApplyCredentials(connect, "puser", "ppass");
  std::string head = connect.SerializeHead();
  head.replace(head.find(' ') + 1, head.find(" HTTP/1.1") - head.find(' ') - 1, authority);
  conn.Send(head);
  Exchange tunnel = ReadResponse(conn, "CONNECT");
  ASSERT_EQ(tunnel.head.StatusCode(), 200) << tunnel.head.Serialized();
  ASSERT_EQ(conn.StartTls("localhost", CaTrust()), TlsResult::kOk) << DescribeError(conn.tls()->Error());
  conn.Send(Get("https://localhost/file.bin").SerializeHead());
  Exchange inner = ReadResponse(conn, "GET");
  EXPECT_EQ(inner.head.StatusCode(), 200);
  EXPECT_EQ(inner.body.size(), 100000u);
}

}  // namespace
}  // namespace net
