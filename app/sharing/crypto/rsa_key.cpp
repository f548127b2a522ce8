#include "app/sharing/crypto/rsa_key.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

#include <array>
#include <cctype>
#include <cstdio>

#include "platform/values/digest.h"
#include "platform/values/plist.h"

namespace sharing {
namespace {

struct BnFree {
  void operator()(BIGNUM* b) const { BN_clear_free(b); }
};
using Bn = std::unique_ptr<BIGNUM, BnFree>;
struct CtxFree {
  void operator()(EVP_PKEY_CTX* c) const { EVP_PKEY_CTX_free(c); }
};
using Ctx = std::unique_ptr<EVP_PKEY_CTX, CtxFree>;

// Archive key and OpenSSL parameter, in archive order.
constexpr std::array<std::pair<const char*, const char*>, 8> kParts = {{
    {"n", OSSL_PKEY_PARAM_RSA_N},
    {"e", OSSL_PKEY_PARAM_RSA_E},
    {"d", OSSL_PKEY_PARAM_RSA_D},
    {"p", OSSL_PKEY_PARAM_RSA_FACTOR1},
    {"q", OSSL_PKEY_PARAM_RSA_FACTOR2},
    {"dmp1", OSSL_PKEY_PARAM_RSA_EXPONENT1},
    {"dmq1", OSSL_PKEY_PARAM_RSA_EXPONENT2},
    {"iqmp", OSSL_PKEY_PARAM_RSA_COEFFICIENT1},
}};

Bn Param(EVP_PKEY* key, const char* name) {
  BIGNUM* bn = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &bn) != 1) return nullptr;
  return Bn(bn);
}

values::Bytes BigEndian(const BIGNUM* bn) {
  values::Bytes out(static_cast<std::size_t>(BN_num_bytes(bn)));
  BN_bn2bin(bn, out.data());
  return out;
}

// The whole text must be hexadecimal (either case); nothing else.
Bn ParseHex(std::string_view text) {
  if (text.empty() || text.size() > 4096) return nullptr;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return nullptr;
  }
  BIGNUM* bn = nullptr;
  const std::string s(text);
  if (BN_hex2bn(&bn, s.c_str()) != static_cast<int>(s.size())) {
    BN_free(bn);
    return nullptr;
  }
  return Bn(bn);
}

Bn ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 32) return nullptr;
  for (char c : text) {
    if (c < '0' || c > '9') return nullptr;
  }
  BIGNUM* bn = nullptr;
  const std::string s(text);
  if (BN_dec2bn(&bn, s.c_str()) != static_cast<int>(s.size())) {
    BN_free(bn);
    return nullptr;
  }
  return Bn(bn);
}

// A key from its parts (null where absent; n and e required).
EVP_PKEY* FromParts(const std::array<Bn, 8>& parts) {
  if (!parts[0] || !parts[1]) return nullptr;
  OSSL_PARAM_BLD* bld = OSSL_PARAM_BLD_new();
  if (bld == nullptr) return nullptr;
  bool ok = true;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i]) ok = ok && OSSL_PARAM_BLD_push_BN(bld, kParts[i].second, parts[i].get()) == 1;
  }
  OSSL_PARAM* params = ok ? OSSL_PARAM_BLD_to_param(bld) : nullptr;
  OSSL_PARAM_BLD_free(bld);
  if (params == nullptr) return nullptr;
  EVP_PKEY* key = nullptr;
  Ctx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  const int selection = parts[2] ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY;
  if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1 ||
      EVP_PKEY_fromdata(ctx.get(), &key, selection, params) != 1)
    key = nullptr;
  OSSL_PARAM_free(params);
  return key;
}

bool SetOAEP(EVP_PKEY_CTX* ctx) {
  return EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_OAEP_PADDING) == 1 &&
         EVP_PKEY_CTX_set_rsa_oaep_md(ctx, EVP_sha1()) == 1 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(ctx, EVP_sha1()) == 1;
}

}  // namespace

RSAKey::~RSAKey() {
  EVP_PKEY_free(key_);
}

std::unique_ptr<RSAKey> RSAKey::Generate(int bits) {
  Ctx ctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  Bn e(BN_new());
  if (!ctx || !e || BN_set_word(e.get(), RSA_F4) != 1 || EVP_PKEY_keygen_init(ctx.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) != 1 ||
      EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()) != 1)
    return nullptr;
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_generate(ctx.get(), &key) != 1) return nullptr;
  return std::unique_ptr<RSAKey>(new RSAKey(key));
}

std::unique_ptr<RSAKey> RSAKey::FromOpenSSLKey(const EVP_PKEY* key) {
  if (key == nullptr || EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA) return nullptr;
  EVP_PKEY* dup = EVP_PKEY_dup(const_cast<EVP_PKEY*>(key));
  return dup ? std::unique_ptr<RSAKey>(new RSAKey(dup)) : nullptr;
}

std::unique_ptr<RSAKey> RSAKey::FromPublicKeyString(std::string_view hexModulus,
                                                    std::string_view decimalExponent) {
  std::array<Bn, 8> parts;
  parts[0] = ParseHex(hexModulus);
  parts[1] = ParseDecimal(decimalExponent);
  EVP_PKEY* key = FromParts(parts);
  return key ? std::unique_ptr<RSAKey>(new RSAKey(key)) : nullptr;
}

std::unique_ptr<RSAKey> RSAKey::Unarchive(const values::Value& archive) {
  if (!archive.IsDictionary()) return nullptr;
  std::array<Bn, 8> parts;
  for (std::size_t i = 0; i < kParts.size(); ++i) {
    std::string text;
    if (archive.GetString(kParts[i].first, text) != values::Lookup::kOk) continue;
    parts[i] = ParseHex(text);
    if (!parts[i]) return nullptr;
  }
  EVP_PKEY* key = FromParts(parts);
  return key ? std::unique_ptr<RSAKey>(new RSAKey(key)) : nullptr;
}

std::unique_ptr<RSAKey> RSAKey::UnarchiveData(std::span<const std::uint8_t> bytes) {
  auto archive = values::ReadPropertyList(bytes);
  if (!archive) return nullptr;
  return Unarchive(archive.value());
}

values::Value RSAKey::Archive() const {
  values::Value archive(values::Dictionary{});
  for (const auto& [name, param] : kParts) {
    if (Bn bn = Param(key_, param)) archive.Put(name, values::HexUpper(BigEndian(bn.get())));
  }
  return archive;
}

values::Bytes RSAKey::ArchiveData() const {
  auto bytes = values::WritePropertyList(Archive(), values::PlistFormat::kBinary);
  return bytes ? bytes.value() : values::Bytes{};
}

std::unique_ptr<RSAKey> RSAKey::Copy() const {
  EVP_PKEY* dup = EVP_PKEY_dup(key_);
  return dup ? std::unique_ptr<RSAKey>(new RSAKey(dup)) : nullptr;
}

bool RSAKey::HasPrivateExponent() const {
  return Param(key_, OSSL_PKEY_PARAM_RSA_D) != nullptr;
}

bool RSAKey::IsValidPrivateKey() const {
  if (!HasPrivateExponent()) return false;
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr));
  return ctx && EVP_PKEY_check(ctx.get()) == 1;
}

const std::string& RSAKey::PublicKeyString() const {
  std::call_once(publicOnce_, [this] {
    if (Bn n = Param(key_, OSSL_PKEY_PARAM_RSA_N)) publicKeyString_ = values::HexUpper(BigEndian(n.get()));
  });
  return publicKeyString_;
}

const std::string& RSAKey::Fingerprint() const {
  std::call_once(fingerprintOnce_, [this] {
    Bn n = Param(key_, OSSL_PKEY_PARAM_RSA_N);
    if (!n) return;
    const auto digest = values::ComputeDigest(values::DigestAlgorithm::kSha1, BigEndian(n.get()));
    for (std::size_t i = 0; i < digest.size(); i += 2) {
      char group[6];
      std::snprintf(group, sizeof group, "%s%02X%02X", i ? ":" : "", digest[i], digest[i + 1]);
      fingerprint_ += group;
    }
  });
  return fingerprint_;
}

std::size_t RSAKey::ModulusSize() const {
  return static_cast<std::size_t>(EVP_PKEY_get_size(key_));
}

std::optional<values::Bytes> RSAKey::EncryptOAEP(std::span<const std::uint8_t> plain) const {
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr));
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) != 1 || !SetOAEP(ctx.get())) return std::nullopt;
  std::size_t size = 0;
  if (EVP_PKEY_encrypt(ctx.get(), nullptr, &size, plain.data(), plain.size()) != 1) return std::nullopt;
  values::Bytes out(size);
  if (EVP_PKEY_encrypt(ctx.get(), out.data(), &size, plain.data(), plain.size()) != 1 || size == 0)
    return std::nullopt;
  out.resize(size);
  return out;
}

std::optional<values::Bytes> RSAKey::DecryptOAEP(std::span<const std::uint8_t> enciphered) const {
  if (!HasPrivateExponent() || enciphered.empty()) return std::nullopt;
  Ctx ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, key_, nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) != 1 || !SetOAEP(ctx.get())) return std::nullopt;
  std::size_t size = 0;
  if (EVP_PKEY_decrypt(ctx.get(), nullptr, &size, enciphered.data(), enciphered.size()) != 1)
    return std::nullopt;
  values::Bytes out(size);
  if (EVP_PKEY_decrypt(ctx.get(), out.data(), &size, enciphered.data(), enciphered.size()) != 1)
    return std::nullopt;
  out.resize(size);
  return out;
}

}  // namespace sharing
