#include "app/engine/network/accepted_certificates.h"

#include <gtest/gtest.h>

#include "platform/net/stream_error.h"
#include "tests/servers/test_certificates.h"

namespace engine {
namespace {

values::Url U(const char* s) {
  return *values::Url::Create(s);
}

net::Certificate MakeCertificate() {
  return *net::Certificate::FromPem(testservers::MakeSelfSigned({}).certificate_pem);
}

class AcceptedCertificatesTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadAcceptedCertificates({}, {}); }
  void TearDown() override { TrustPanelSlot::Set(nullptr); }
};

TEST_F(AcceptedCertificatesTest, AlwaysThenSessionLeavesOnlyTheSessionEntry) {
  const net::Certificate cert = MakeCertificate();
  SaveAcceptedCertificate(U("https://files.example:8443/a"), cert, false);
  auto [certs, types] = PermanentCertificateTables();
  ASSERT_TRUE(certs.count("files.example"));
  EXPECT_EQ(types["files.example"], values::Value(values::Number::Int32(3)));

  SaveAcceptedCertificate(U("https://files.example/b"), cert, true);
  std::tie(certs, types) = PermanentCertificateTables();
  EXPECT_TRUE(certs.empty());
  EXPECT_TRUE(types.empty());
  EXPECT_EQ(CopyAcceptedCertificateData(U("https://files.example/")), cert.Der());
  ASSERT_EQ(CopyAcceptedCertificates(U("https://files.example/")).size(), 1u);
  EXPECT_EQ(CopyAcceptedCertificates(U("https://files.example/"))[0], cert);
}

TEST_F(AcceptedCertificatesTest, NoHostFindsNothingAndReportsType3) {
  std::int32_t type = 0;
  EXPECT_FALSE(CopyAcceptedCertificateData(U("file:///tmp/x"), &type));
  EXPECT_EQ(type, 3);
  EXPECT_TRUE(CopyAcceptedCertificates(U("file:///tmp/x")).empty());
}

TEST_F(AcceptedCertificatesTest, UndecodableDataGivesNoRootsAndStoredTypeIsReported) {
  LoadAcceptedCertificates(
      values::Value(values::Dictionary{{"bad.example", values::Value(values::Data{{1, 2, 3}})}}),
      values::Value(values::Dictionary{{"bad.example", values::Value(7)}}));
  std::int32_t type = 0;
  EXPECT_TRUE(CopyAcceptedCertificateData(U("https://bad.example/"), &type));
  EXPECT_EQ(type, 7);
  EXPECT_TRUE(CopyAcceptedCertificates(U("https://bad.example/")).empty());
}

class ScriptedPanel : public TrustPanel {
 public:
  explicit ScriptedPanel(Answer answer) : answer_(answer) {}
  Answer RunModal(const net::CertificateChain& certificates, const std::string& message) override {
    shown_message = message;
    shown_count = certificates.size();
    return answer_;
  }
  std::string shown_message;
  std::size_t shown_count = 0;

 private:
  Answer answer_;
};

// Installs a scripted panel; the slot owns it, the pointer stays good until the next one.
ScriptedPanel* InstallPanel(TrustPanel::Answer answer) {
  auto panel = std::make_unique<ScriptedPanel>(answer);
  ScriptedPanel* shown = panel.get();
  TrustPanelSlot::Set(std::move(panel));
  return shown;
}

TEST_F(AcceptedCertificatesTest, CancelSavesNothingAcceptSavesTheFirstCertificate) {
  const net::CertificateChain chain = {MakeCertificate(), MakeCertificate()};
  ScriptedPanel* cancel = InstallPanel(TrustPanel::Answer{false, true});
  EXPECT_EQ(AskUserToTrustCertificate(chain, "https://files.example/x", net::tls_code::kExpired, false), 0);
  EXPECT_EQ(cancel->shown_message,
            "The certificate for files.example is expired. Do you still want to connect?");
  EXPECT_FALSE(CopyAcceptedCertificateData(U("https://files.example/")));

  InstallPanel(TrustPanel::Answer{true, false});
  EXPECT_EQ(AskUserToTrustCertificate(chain, "https://files.example/x", net::tls_code::kUnknownRoot, false),
            1);
  EXPECT_EQ(CopyAcceptedCertificateData(U("https://files.example/")), chain[0].Der());
  EXPECT_TRUE(PermanentCertificateTables().first.empty());

  ScriptedPanel* always = InstallPanel(TrustPanel::Answer{true, true});
  EXPECT_EQ(AskUserToTrustCertificate(chain, "https://files.example/x", 0, true), 1);
  EXPECT_EQ(always->shown_message, "kCertificateChanged");
  EXPECT_EQ(PermanentCertificateTables().first.count("files.example"), 1u);
}

TEST(TrustPromptMessageTest, ChosenByTheTlsError) {
  struct Case {
    int error;
    bool changed;
    const char* key;
  } cases[] = {
      {net::tls_code::kHostNameMismatch, false,
       "The name on the certificate for %@ is for a different host. Do you still want to connect?"},
      {net::tls_code::kNotYetValid, false,
       "The certificate for %@ is not valid. Do you still want to connect?"},
      {net::tls_code::kBadCertificate, false,
       "The certificate for %@ is not valid. Do you still want to connect?"},
      {net::tls_code::kChainInvalid, false,
       "The certificate for %@ is not valid. Do you still want to connect?"},
      {net::tls_code::kExpired, false, "The certificate for %@ is expired. Do you still want to connect?"},
      {net::tls_code::kUnknownIssuer, false,
       "The issuer of the certificate for %@ is unknown. Do you still want to connect?"},
      {net::tls_code::kUnknownRoot, false,
       "The root certificate for %@ is unknown. Do you still want to connect?"},
      {net::tls_code::kUnknownRoot, true, "kCertificateChanged"},
      {net::tls_code::kProtocol, false, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(TrustPromptMessageKey(c.error, c.changed), c.key) << c.error;
}

}  // namespace
}  // namespace engine
