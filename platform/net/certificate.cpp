#include "platform/net/certificate.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <ctime>

namespace net {

namespace {

std::string NameText(const X509_NAME* name) {
  if (!name) return {};
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  // Most specific part first, ", " between parts, UTF-8 left as it is.
  const unsigned long flags =
      (XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB & ~XN_FLAG_SEP_MASK) | XN_FLAG_SEP_CPLUS_SPC;
  X509_NAME_print_ex(bio.get(), name, 0, flags);
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(n));
}

std::int64_t TimeValue(const ASN1_TIME* t) {
  if (!t) return 0;
  std::tm tm{};
  if (ASN1_TIME_to_tm(t, &tm) != 1) return 0;
  return static_cast<std::int64_t>(timegm(&tm));
}

}  // namespace

void Certificate::Free::operator()(X509* x) const {
  X509_free(x);
}

std::optional<Certificate> Certificate::FromDer(std::span<const std::uint8_t> der) {
  const unsigned char* p = der.data();
  X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  if (!x) return std::nullopt;
  // Trailing bytes mean this was not one certificate.
  if (p != der.data() + der.size()) {
    X509_free(x);
    return std::nullopt;
  }
  Certificate c;
  c.x509_.reset(x, Free{});
  c.der_.assign(der.begin(), der.end());
  return c;
}

std::optional<Certificate> Certificate::FromPem(std::string_view pem) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                &BIO_free);
  X509* x = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
  if (!x) return std::nullopt;
  return FromX509Owned(x);
}

Certificate Certificate::FromX509(X509* x509) {
  X509_up_ref(x509);
  return FromX509Owned(x509);
}

Certificate Certificate::FromX509Owned(X509* x509) {
  Certificate c;
  c.x509_.reset(x509, Free{});
  unsigned char* buf = nullptr;
  int n = i2d_X509(x509, &buf);
  if (n > 0) {
    c.der_.assign(buf, buf + n);
    OPENSSL_free(buf);
  }
  return c;
}

std::string Certificate::Pem() const {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  PEM_write_bio_X509(bio.get(), x509_.get());
  char* data = nullptr;
  long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(n));
}

std::string Certificate::Subject() const {
  return NameText(X509_get_subject_name(x509_.get()));
}
std::string Certificate::Issuer() const {
  return NameText(X509_get_issuer_name(x509_.get()));
}

std::string Certificate::CommonName() const {
  const X509_NAME* name = X509_get_subject_name(x509_.get());
  int i = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  if (i < 0) return {};
  const ASN1_STRING* s = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, i));
  unsigned char* utf8 = nullptr;
  int n = ASN1_STRING_to_UTF8(&utf8, s);
  if (n < 0) return {};
  std::string out(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(n));
  OPENSSL_free(utf8);
  return out;
}

std::int64_t Certificate::NotBefore() const {
  return TimeValue(X509_get0_notBefore(x509_.get()));
}
std::int64_t Certificate::NotAfter() const {
  return TimeValue(X509_get0_notAfter(x509_.get()));
}

}  // namespace net
