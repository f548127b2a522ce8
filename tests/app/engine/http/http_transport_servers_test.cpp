// The HTTP transport against nginx (ranges, HTTPS) and tinyproxy (proxy challenge),
// byte-exact, with the harness playing the engine.
#include <gtest/gtest.h>

#include <fstream>

#include "app/engine/http/cookies_and_proxy_credentials.h"
#include "app/engine/network/accepted_certificates.h"
#include "app/engine/urls/url_entries.h"
#include "app/util/files/file_names.h"
#include "platform/net/proxy_settings.h"
#include "tests/app/engine/http/http_transport_harness.h"
#include "tests/servers/test_servers.h"

namespace engine {
namespace {

using testing::FakeDownload;

const std::string& Content() {
  static const std::string content = net::testing::PatternBytes(1000003);
  return content;
}

class HttpTransportServersTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { (void)util::GetFileNameCharacterSet(); }
  void SetUp() override {
    ASSERT_TRUE(nginx_.ok());
    std::ofstream(nginx_.WwwDir() + "/file.bin", std::ios::binary) << Content();
    LoadAcceptedCertificates(values::Value(), values::Value());
  }
  std::string Http(const std::string& host = "127.0.0.1") const {
    return "http://" + host + ":" + std::to_string(nginx_.HttpPort()) + "/file.bin";
  }
  std::string Https() const {
    return "https://localhost:" + std::to_string(nginx_.HttpsPort("self")) + "/file.bin";
  }

  testservers::TestIdentity identity_ = testservers::MakeSelfSigned({});
  testservers::NginxServer nginx_{{{"self", identity_}}};
};

TEST_F(HttpTransportServersTest, TenRangesMakeTheFileByteForByte) {
  FakeDownload d(Http());
  const std::int64_t size = static_cast<std::int64_t>(Content().size());
  const std::int64_t piece = size / 10;
  // The last connection first: each range stands on its own, in any order.
  for (int i = 9; i >= 0; --i) {
    const std::int64_t location = i * piece;
    const std::int64_t length = i == 9 ? size - location : piece;
    ASSERT_TRUE(d.Run({location, length})) << i;
    EXPECT_EQ(d.ends.back(), kStreamDone) << i;
  }
  EXPECT_EQ(d.file.size(), Content().size());
  EXPECT_TRUE(d.file == Content());
  EXPECT_FALSE(d.EntryFlag(kEntryNoRestarts));
  EXPECT_FALSE(d.EntryString(kEntryETag).empty());
}

TEST_F(HttpTransportServersTest, AResumeFetchesOnlyTheRestWithTheRangeHeader) {
  FakeDownload d(Http());
  d.file = Content().substr(0, 5000);
  d.facts.totalSize = static_cast<std::int64_t>(Content().size());
  d.facts.sizeKnown = true;
  ASSERT_TRUE(d.Run({5000, kOpenEndLength}));
  EXPECT_EQ(d.ends.back(), kStreamDone);
  EXPECT_TRUE(d.file == Content());
  EXPECT_NE(d.LogText().find("Range: bytes=5000-"), std::string::npos);
  EXPECT_NE(d.LogText().find("206 Partial Content"), std::string::npos);
}

TEST_F(HttpTransportServersTest, HttpsNeedsTheUsersAcceptanceOfAnUnknownCertificate) {
  FakeDownload refused(Https());
  ASSERT_TRUE(refused.Run());
  EXPECT_EQ(refused.ends.back(), kStreamError | kStreamUnknownRoot);
  EXPECT_EQ(refused.error.domain, net::ErrorDomain::kSsl);
  EXPECT_TRUE(refused.file.empty());

  SaveAcceptedCertificate(*values::Url::Create(Https()),
                          *net::Certificate::FromPem(identity_.certificate_pem), true);
  FakeDownload accepted(Https());
  ASSERT_TRUE(accepted.Run());
  EXPECT_EQ(accepted.ends.back(), kStreamDone);
  EXPECT_TRUE(accepted.file == Content());
}

// Loopback names never go through a proxy, so the target is named "127.1".
TEST_F(HttpTransportServersTest, AProxyChallengeIsAnsweredWithTheProxyCredentials) {
  testservers::TinyproxyServer proxy("puser", "ppass");
  ASSERT_TRUE(proxy.ok());
  values::Dictionary settings{{"HTTPEnable", values::Value(1)},
                              {"HTTPProxy", values::Value("127.0.0.1")},
                              {"HTTPPort", values::Value(proxy.Port())}};
  net::ProxySettingsSource::Shared().SetPreferenceDictionary(settings);
  SetHTTPProxyCredentials("puser", "ppass");

  FakeDownload d(Http("127.1"));
  const bool ran = d.Run();
  net::ProxySettingsSource::Shared().SetPreferenceDictionary(std::nullopt);
  SetHTTPProxyCredentials(std::nullopt, std::nullopt);
  ASSERT_TRUE(ran);
  ASSERT_EQ(d.ends.size(), 2u);
  EXPECT_EQ(d.ends[0], kStreamReplaced);
  EXPECT_EQ(d.ends[1], kStreamDone);
  EXPECT_TRUE(d.file == Content());
  EXPECT_EQ(d.LogText().find("ppass"), std::string::npos);
}

}  // namespace
}  // namespace engine
