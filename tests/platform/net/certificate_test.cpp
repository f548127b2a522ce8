#include "platform/net/certificate.h"

#include <gtest/gtest.h>

#include <ctime>

#include "tests/servers/test_certificates.h"

namespace net {
namespace {

TEST(CertificateTest, RoundTripsThroughDerAndComparesByBytes) {
  testservers::CertificateSpec desc;
  desc.common_name = "files.example";
  auto id = testservers::MakeSelfSigned(desc);
  auto cert = Certificate::FromPem(id.certificate_pem);
  ASSERT_TRUE(cert);
  auto again = Certificate::FromDer(cert->Der());
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *cert);
  EXPECT_EQ(again->Pem(), id.certificate_pem);
  EXPECT_EQ(cert->CommonName(), "files.example");
  EXPECT_EQ(cert->Subject(), "CN=files.example, O=Truvane Tests");
  EXPECT_EQ(cert->Issuer(), cert->Subject());
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  EXPECT_NEAR(static_cast<double>(cert->NotBefore()), static_cast<double>(now - 3600), 5);
  EXPECT_NEAR(static_cast<double>(cert->NotAfter()), static_cast<double>(now + 7 * 24 * 3600), 5);
  EXPECT_EQ(cert->Type(), 3);

  auto other = Certificate::FromPem(testservers::MakeSelfSigned(desc).certificate_pem);
  EXPECT_FALSE(*other == *cert);
}

TEST(CertificateTest, RefusesBytesThatAreNotOneCertificate) {
  auto cert = Certificate::FromPem(testservers::MakeSelfSigned({}).certificate_pem);
  std::vector<std::uint8_t> der = cert->Der();
  EXPECT_FALSE(Certificate::FromDer({}));
  EXPECT_FALSE(Certificate::FromDer(std::vector<std::uint8_t>(der.begin(), der.end() - 1)));
  der.push_back(0);
  EXPECT_FALSE(Certificate::FromDer(der));
  EXPECT_FALSE(Certificate::FromPem("not a certificate"));
}

}  // namespace
}  // namespace net
