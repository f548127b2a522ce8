#pragma once
// X.509 certificates as values.
//
// A `Certificate` holds one parsed certificate (shared, immutable; copying is cheap) and
// its DER bytes. Two certificates are equal when their DER bytes are: that is how an
// accepted certificate is recognised when the server presents it again.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

typedef struct x509_st X509;

namespace net {

class Certificate {
 public:
  // No value when the bytes are not one DER (or BER) encoded certificate.
  static std::optional<Certificate> FromDer(std::span<const std::uint8_t> der);
  // The first certificate of PEM text.
  static std::optional<Certificate> FromPem(std::string_view pem);
  // Takes a reference on `x509` (not owned by the caller afterwards).
  static Certificate FromX509(X509* x509);

  const std::vector<std::uint8_t>& Der() const { return der_; }
  std::string Pem() const;

  // One-line subject and issuer for display, most specific part first: "CN=host, O=Org".
  std::string Subject() const;
  std::string Issuer() const;
  std::string CommonName() const;
  // Validity as seconds since the Unix epoch.
  std::int64_t NotBefore() const;
  std::int64_t NotAfter() const;
  // The certificate type as stored with accepted certificates: 3 for X.509 v3.
  int Type() const { return 3; }

  X509* Raw() const { return x509_.get(); }

  bool operator==(const Certificate& other) const { return der_ == other.der_; }

 private:
  struct Free {
    void operator()(X509* x) const;
  };
  static Certificate FromX509Owned(X509* x509);
  std::shared_ptr<X509> x509_;
  std::vector<std::uint8_t> der_;
};

using CertificateChain = std::vector<Certificate>;

}  // namespace net
