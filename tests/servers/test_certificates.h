#pragma once
// Certificates made on the fly for TLS tests: a test CA, server certificates signed by
// it or by themselves, with chosen names and validity windows. EC P-256 keys keep this
// to about a millisecond per certificate.

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace testservers {

struct TestIdentity {
  std::string certificate_pem;  // the certificate alone
  std::string key_pem;
  std::string chain_pem;  // certificate followed by its issuers up to (not including) the root
};

struct CertificateSpec {
  std::string common_name = "localhost";
  // Subject alternative names: "DNS:localhost", "IP:127.0.0.1".
  std::vector<std::string> alt_names = {"DNS:localhost", "IP:127.0.0.1"};
  // Validity relative to now.
  std::chrono::seconds not_before = -std::chrono::hours(1);
  std::chrono::seconds not_after = std::chrono::hours(24 * 7);
  bool is_ca = false;
};

// Self-signed.
TestIdentity MakeSelfSigned(const CertificateSpec& desc);
// Signed by `issuer` (usually a CA made with is_ca = true).
TestIdentity MakeSigned(const CertificateSpec& desc, const TestIdentity& issuer);

// One CA for the whole test program, made on first use.
const TestIdentity& TestCa();
// Servers for the trust outcomes, by name: "good" (signed by TestCa), "selfsigned",
// "expired" (signed by TestCa, ended a day ago) and "wronghost" (signed by TestCa, for
// other.example).
std::map<std::string, TestIdentity> TrustOutcomeIdentities();

// Writes the identity as `dir`/`name`.pem (chain) and `dir`/`name`.key; returns the
// chain path.
std::string WriteIdentity(const TestIdentity& identity, const std::string& dir, const std::string& name);

}  // namespace testservers
