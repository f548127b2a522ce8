#include "tests/servers/test_certificates.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

#include "tests/support/temp_home.h"

namespace testservers {

namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long n = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<std::size_t>(n));
}

std::string KeyPem(EVP_PKEY* key) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  return BioText(bio.get());
}

std::string CertPem(X509* cert) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  PEM_write_bio_X509(bio.get(), cert);
  return BioText(bio.get());
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) {
    ADD_FAILURE() << "bad extension " << value;
    return;
  }
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

TestIdentity Make(const CertificateSpec& desc, const TestIdentity* issuer) {
  KeyPtr key(EVP_EC_gen("P-256"), &EVP_PKEY_free);
  CertPtr cert(X509_new(), &X509_free);
  X509_set_version(cert.get(), 2);
  unsigned char serial[12];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7f;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), static_cast<long>(desc.not_before.count()));
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), static_cast<long>(desc.not_after.count()));
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>("Truvane Tests"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(desc.common_name.c_str()), -1, -1, 0);

  CertPtr issuer_cert(nullptr, &X509_free);
  KeyPtr issuer_key(nullptr, &EVP_PKEY_free);
  if (issuer) {
    std::unique_ptr<BIO, decltype(&BIO_free)> cb(
        BIO_new_mem_buf(issuer->certificate_pem.data(), static_cast<int>(issuer->certificate_pem.size())),
        &BIO_free);
    issuer_cert.reset(PEM_read_bio_X509(cb.get(), nullptr, nullptr, nullptr));
    std::unique_ptr<BIO, decltype(&BIO_free)> kb(
        BIO_new_mem_buf(issuer->key_pem.data(), static_cast<int>(issuer->key_pem.size())), &BIO_free);
    issuer_key.reset(PEM_read_bio_PrivateKey(kb.get(), nullptr, nullptr, nullptr));
    X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer_cert.get()));
  } else {
    X509_set_issuer_name(cert.get(), name);
  }
  X509* signer = issuer ? issuer_cert.get() : cert.get();
  AddExtension(cert.get(), signer, NID_basic_constraints, desc.is_ca ? "critical,CA:TRUE" : "CA:FALSE");
  AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
  if (desc.is_ca) {
    AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
  }
  if (!desc.alt_names.empty()) {
    std::string sans;
    for (const auto& s : desc.alt_names) sans += (sans.empty() ? "" : ",") + s;
    AddExtension(cert.get(), signer, NID_subject_alt_name, sans);
  }
  X509_sign(cert.get(), issuer ? issuer_key.get() : key.get(), EVP_sha256());

  TestIdentity id;
  id.certificate_pem = CertPem(cert.get());
  id.key_pem = KeyPem(key.get());
  id.chain_pem = id.certificate_pem;
  // Intermediates travel with the leaf; a root never needs to.
  if (issuer && issuer->chain_pem != issuer->certificate_pem) id.chain_pem += issuer->chain_pem;
  return id;
}

}  // namespace

TestIdentity MakeSelfSigned(const CertificateSpec& desc) {
  return Make(desc, nullptr);
}
TestIdentity MakeSigned(const CertificateSpec& desc, const TestIdentity& issuer) {
  return Make(desc, &issuer);
}

std::string WriteIdentity(const TestIdentity& identity, const std::string& dir, const std::string& name) {
  const std::string chain = dir + "/" + name + ".pem";
  testsupport::WriteFile(chain, identity.chain_pem);
  testsupport::WriteFile(dir + "/" + name + ".key", identity.key_pem);
  return chain;
}

const TestIdentity& TestCa() {
  static const TestIdentity ca = [] {
    CertificateSpec desc;
    desc.common_name = "Truvane Test CA";
    desc.alt_names = {};
    desc.is_ca = true;
    return MakeSelfSigned(desc);
  }();
  return ca;
}

std::map<std::string, TestIdentity> TrustOutcomeIdentities() {
  CertificateSpec expired;
  expired.not_before = -std::chrono::hours(24 * 60);
  expired.not_after = -std::chrono::hours(24);
  CertificateSpec other;
  other.common_name = "other.example";
  other.alt_names = {"DNS:other.example"};
  return {{"good", MakeSigned({}, TestCa())},
          {"selfsigned", MakeSelfSigned({})},
          {"expired", MakeSigned(expired, TestCa())},
          {"wronghost", MakeSigned(other, TestCa())}};
}

}  // namespace testservers
