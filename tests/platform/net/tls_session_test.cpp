#include "platform/net/tls_session.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/servers/test_certificates.h"

namespace net {
namespace {

using std::chrono::hours;
using testservers::CertificateSpec;
using testservers::TestIdentity;

// Moves bytes between the two sessions until neither makes progress.
struct Pair {
  std::unique_ptr<TlsSession> client;
  std::unique_ptr<TlsSession> server;

  void Pump() {
    for (int i = 0; i < 50; ++i) {
      std::string c2s = client->TakeAllOutgoing();
      std::string s2c = server->TakeAllOutgoing();
      server->PutIncoming(c2s.data(), c2s.size());
      client->PutIncoming(s2c.data(), s2c.size());
      server->Handshake();
      if (c2s.empty() && s2c.empty() && i > 2) return;
    }
  }
  TlsResult Handshake() {
    TlsResult r = TlsResult::kWouldBlock;
    for (int i = 0; i < 20 && r == TlsResult::kWouldBlock; ++i) {
      r = client->Handshake();
      Pump();
    }
    return r;
  }
};

Certificate CaCertificate() {
  return *Certificate::FromPem(testservers::TestCa().certificate_pem);
}

Pair Connect(const TestIdentity& server_id, const std::string& host, TlsTrust trust) {
  auto server_ctx = TlsContext::Server(server_id.chain_pem, server_id.key_pem);
  EXPECT_NE(server_ctx, nullptr);
  Pair p{TlsSession::CreateClient(TlsContext::Client(), host, std::move(trust)),
         TlsSession::CreateServer(server_ctx)};
  return p;
}

TlsTrust TrustOnly(std::vector<Certificate> roots) {
  TlsTrust t;
  t.use_system_roots = false;
  t.trusted_roots = std::move(roots);
  return t;
}

TEST(TlsSessionTest, ExchangesDataBothWaysAfterAValidHandshake) {
  TestIdentity id = testservers::MakeSigned({}, testservers::TestCa());
  Pair p = Connect(id, "localhost", TrustOnly({CaCertificate()}));
  ASSERT_EQ(p.Handshake(), TlsResult::kOk) << DescribeError(p.client->Error());

  std::size_t n = 0;
  ASSERT_EQ(p.client->Write("hello", 5, n), TlsResult::kOk);
  EXPECT_EQ(n, 5u);
  p.Pump();
  char buf[64];
  ASSERT_EQ(p.server->Read(buf, sizeof buf, n), TlsResult::kOk);
  EXPECT_EQ(std::string(buf, n), "hello");
  ASSERT_EQ(p.server->Write("world!", 6, n), TlsResult::kOk);
  p.Pump();
  // A read asking for fewer bytes than are there leaves the rest for the next read.
  ASSERT_EQ(p.client->Read(buf, 2, n), TlsResult::kOk);
  EXPECT_EQ(std::string(buf, n), "wo");
  ASSERT_EQ(p.client->Read(buf, sizeof buf, n), TlsResult::kOk);
  EXPECT_EQ(std::string(buf, n), "rld!");
  EXPECT_EQ(p.client->Read(buf, sizeof buf, n), TlsResult::kWouldBlock);

  p.server->Close();
  p.Pump();
  EXPECT_EQ(p.client->Read(buf, sizeof buf, n), TlsResult::kClosed);
  ASSERT_EQ(p.client->PeerCertificates().size(), 1u);
  EXPECT_EQ(p.client->PeerCertificates()[0], *Certificate::FromPem(id.certificate_pem));
}

struct TrustCase {
  const char* name;
  CertificateSpec desc;
  bool self_signed;
  bool trust_ca;
  const char* host;
  int expected;  // 0: passes
};

class TlsTrustTable : public ::testing::TestWithParam<TrustCase> {};

TEST_P(TlsTrustTable, MapsTheFailureToItsCode) {
  const TrustCase& c = GetParam();
  TestIdentity id = c.self_signed ? testservers::MakeSelfSigned(c.desc)
                                  : testservers::MakeSigned(c.desc, testservers::TestCa());
  Pair p =
      Connect(id, c.host, TrustOnly(c.trust_ca ? std::vector{CaCertificate()} : std::vector<Certificate>{}));
  TlsResult r = p.Handshake();
  if (c.expected == 0) {
    EXPECT_EQ(r, TlsResult::kOk) << DescribeError(p.client->Error());
  } else {
    EXPECT_EQ(r, TlsResult::kError);
    EXPECT_EQ(p.client->Error(), (StreamError{ErrorDomain::kSsl, c.expected}))
        << DescribeError(p.client->Error());
    // The chain stays readable for the trust prompt.
    ASSERT_FALSE(p.client->PeerCertificates().empty());
    EXPECT_EQ(p.client->PeerCertificates()[0], *Certificate::FromPem(id.certificate_pem));
  }
}

CertificateSpec Expired() {
  CertificateSpec s;
  s.not_before = -hours(24 * 30);
  s.not_after = -hours(24);
  return s;
}
CertificateSpec NotYetValid() {
  CertificateSpec s;
  s.not_before = hours(24);
  s.not_after = hours(24 * 30);
  return s;
}
CertificateSpec OtherHost() {
  CertificateSpec s;
  s.common_name = "other.example";
  s.alt_names = {"DNS:other.example"};
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TlsTrustTable,
    ::testing::Values(
        TrustCase{"ValidForName", {}, false, true, "localhost", 0},
        TrustCase{"ValidForAddress", {}, false, true, "127.0.0.1", 0},
        TrustCase{"SelfSigned", {}, true, false, "localhost", tls_code::kUnknownRoot},
        TrustCase{"IssuerUnknown", {}, false, false, "localhost", tls_code::kUnknownIssuer},
        TrustCase{"Expired", Expired(), false, true, "localhost", tls_code::kExpired},
        TrustCase{"NotYetValid", NotYetValid(), false, true, "localhost", tls_code::kNotYetValid},
        TrustCase{"WrongHost", OtherHost(), false, true, "localhost", tls_code::kHostNameMismatch},
        TrustCase{"WrongAddress", {}, false, true, "127.0.0.2", tls_code::kHostNameMismatch},
        // An untrusted root outranks the other faults: accepting it is what the user can do.
        TrustCase{"SelfSignedAndExpired", Expired(), true, false, "localhost", tls_code::kUnknownRoot}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TlsSessionTest, AnAcceptedServerCertificatePassesEvenExpiredAndForAnotherName) {
  CertificateSpec desc = Expired();
  desc.common_name = "other.example";
  desc.alt_names = {"DNS:other.example"};
  TestIdentity id = testservers::MakeSelfSigned(desc);
  Pair p = Connect(id, "localhost", TrustOnly({*Certificate::FromPem(id.certificate_pem)}));
  EXPECT_EQ(p.Handshake(), TlsResult::kOk) << DescribeError(p.client->Error());
}

TEST(TlsSessionTest, AnAcceptedCertificateOfAnotherServerDoesNotHelp) {
  TestIdentity accepted = testservers::MakeSelfSigned({});
  TestIdentity presented = testservers::MakeSelfSigned({});
  Pair p = Connect(presented, "localhost", TrustOnly({*Certificate::FromPem(accepted.certificate_pem)}));
  EXPECT_EQ(p.Handshake(), TlsResult::kError);
  EXPECT_EQ(p.client->Error().code, tls_code::kUnknownRoot);
}

TEST(TlsSessionTest, ValidationOffAcceptsAnyChain) {
  TestIdentity id = testservers::MakeSelfSigned(Expired());
  TlsTrust trust;
  trust.validate_chain = false;
  Pair p = Connect(id, "localhost", trust);
  EXPECT_EQ(p.Handshake(), TlsResult::kOk);
}

TEST(TlsSessionTest, CarrierEndDuringHandshakeIsAnAbort) {
  TestIdentity id = testservers::MakeSelfSigned({});
  Pair p = Connect(id, "localhost", TrustOnly({}));
  EXPECT_EQ(p.client->Handshake(), TlsResult::kWouldBlock);
  p.client->IncomingEnded();
  EXPECT_EQ(p.client->Handshake(), TlsResult::kError);
  EXPECT_EQ(p.client->Error().code, tls_code::kClosedAbort);
}

TEST(TlsSessionTest, SecondConnectionResumesTheFirstSession) {
  TestIdentity id = testservers::MakeSigned({}, testservers::TestCa());
  auto server_ctx = TlsContext::Server(id.chain_pem, id.key_pem);
  auto client_ctx = TlsContext::Client();
  Pair first{TlsSession::CreateClient(client_ctx, "localhost", TrustOnly({CaCertificate()})),
             TlsSession::CreateServer(server_ctx)};
  ASSERT_EQ(first.Handshake(), TlsResult::kOk);
  // TLS 1.3 hands out the session ticket after the handshake: read it.
  char buf[16];
  std::size_t n;
  first.client->Read(buf, sizeof buf, n);
  EXPECT_FALSE(first.client->IsSessionReused());

  Pair second{TlsSession::CreateClient(client_ctx, "localhost", TrustOnly({CaCertificate()})),
              TlsSession::CreateServer(server_ctx)};
  second.client->ResumeSessionOf(*first.client);
  ASSERT_EQ(second.Handshake(), TlsResult::kOk);
  EXPECT_TRUE(second.client->IsSessionReused());
}

TEST(TlsSessionTest, ServerContextRefusesAKeyThatDoesNotMatch) {
  TestIdentity a = testservers::MakeSelfSigned({});
  TestIdentity b = testservers::MakeSelfSigned({});
  EXPECT_EQ(TlsContext::Server(a.chain_pem, b.key_pem), nullptr);
  EXPECT_NE(TlsContext::Server(a.chain_pem, a.key_pem), nullptr);
}

}  // namespace
}  // namespace net
