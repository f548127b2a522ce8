#include "app/util/settings/proxy_settings.h"

#include <gtest/gtest.h>

namespace {

using namespace util;

TEST(ProxyServerName, Formats) {
  EXPECT_EQ("proxy.lan:3128", FormatProxyServer("proxy.lan", 3128, std::nullopt));
  EXPECT_EQ("proxy.lan", FormatProxyServer("proxy.lan", std::nullopt, std::nullopt));
  EXPECT_EQ("ftp.lan:80", FormatProxyServer("ftp.lan", std::nullopt, 80));
  EXPECT_EQ("ftp.lan:2121", FormatProxyServer("ftp.lan", 2121, 80));
  EXPECT_EQ("", FormatProxyServer("", 8080, 80));
}

}  // namespace
