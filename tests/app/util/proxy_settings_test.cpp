#include "app/util/proxy_settings.h"

#include <gtest/gtest.h>

#include "tests/fakes/credentials_service_fake.h"
#include "tests/fakes/proxy_service_fake.h"

namespace {

using namespace util;
using namespace engine;
using namespace browser;

class ProxySettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto proxies = std::make_unique<FakeProxyService>();
    auto credentials = std::make_unique<FakeCredentialsService>();
    proxies_ = proxies.get();
    credentials_ = credentials.get();
    SetProxyService(std::move(proxies));
    SetCredentialsService(std::move(credentials));
  }
  void TearDown() override {
    SetProxyService(std::make_unique<DefaultProxyService>());
    SetCredentialsService(std::make_unique<DefaultCredentialsService>());
  }
  FakeProxyService* proxies_ = nullptr;
  FakeCredentialsService* credentials_ = nullptr;
};

TEST(ProxyServerName, Formats) {
  EXPECT_EQ("proxy.lan:3128", FormatProxyServer("proxy.lan", 3128, std::nullopt));
  EXPECT_EQ("proxy.lan", FormatProxyServer("proxy.lan", std::nullopt, std::nullopt));
  EXPECT_EQ("ftp.lan:80", FormatProxyServer("ftp.lan", std::nullopt, 80));
  EXPECT_EQ("ftp.lan:2121", FormatProxyServer("ftp.lan", 2121, 80));
  EXPECT_EQ("", FormatProxyServer("", 8080, 80));
}

TEST_F(ProxySettingsTest, CredentialsComeFromTheKeychainItemOfEachProxy) {
  proxies_->systemSettings = SystemProxySettings{"web.lan", 8080, "files.lan", std::nullopt};
  credentials_->items[{values::FourCC("htpx"), "web.lan"}] = {"webuser", "webpass"};
  UpdateProxyCredentialsFromSystem();

  ASSERT_EQ(1u, proxies_->httpCalls.size());
  EXPECT_EQ((ProxyCredentials{"webuser", "webpass"}), proxies_->httpCalls[0]);
  ASSERT_EQ(1u, proxies_->ftpCalls.size());
  EXPECT_EQ(ProxyCredentials{}, proxies_->ftpCalls[0]);  // none stored: cleared
  EXPECT_EQ((std::vector<std::pair<std::string, values::FourCharCode>>{
                {"web.lan:8080", values::FourCC("htpx")}, {"files.lan:80", values::FourCC("ftpx")}}),
            credentials_->searches);
}

TEST_F(ProxySettingsTest, AProxyWithoutAHostIsClearedWithoutASearch) {
  proxies_->systemSettings = SystemProxySettings{"", std::nullopt, "", std::nullopt};
  credentials_->items[{values::FourCC("ftpx"), ""}] = {"someone", "else"};
  UpdateProxyCredentialsFromSystem();
  EXPECT_TRUE(credentials_->searches.empty());
  EXPECT_EQ((std::vector<ProxyCredentials>{{}}), proxies_->httpCalls);
  EXPECT_EQ((std::vector<ProxyCredentials>{{}}), proxies_->ftpCalls);
}

TEST_F(ProxySettingsTest, NoSystemSettingsLeavesTheCredentialsAlone) {
  UpdateProxyCredentialsFromSystem();
  EXPECT_TRUE(proxies_->httpCalls.empty());
  EXPECT_TRUE(proxies_->ftpCalls.empty());
}

}  // namespace
