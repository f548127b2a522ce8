#pragma once
// An RSA key of a copy of the program: its own server key (with the private parts) or a
// peer's public key, with the two texts peers exchange about it.
//
//   public key text   the modulus alone, upper-case hexadecimal, two digits a byte, most
//                     significant first (384 characters for 1536 bits); a peer's key is
//                     always built with exponent 65537
//   fingerprint       SHA-1 of the modulus' minimal big-endian bytes as ten groups of four
//                     upper-case hex digits joined by ":" (49 characters)
//   archive           a dictionary of upper-case hex texts: "n" and "e" always, "d", "p",
//                     "q", "dmp1", "dmq1", "iqmp" when the key has them
//
// Session keys travel under RSA-OAEP with SHA-1 (and MGF1 with SHA-1, empty label).
// Immutable once made; the texts are computed on first request and cached.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/values/value.h"

typedef struct evp_pkey_st EVP_PKEY;

namespace sharing {

inline constexpr int kServerKeyBits = 1536;
inline constexpr const char kPeerKeyExponent[] = "65537";

class RSAKey {
 public:
  ~RSAKey();
  RSAKey(const RSAKey&) = delete;
  RSAKey& operator=(const RSAKey&) = delete;

  // A new key pair (1536 bits, exponent 65537) from OpenSSL's random generator.
  static std::unique_ptr<RSAKey> Generate(int bits = kServerKeyBits);
  // A key holding copies of everything `key` has (the caller keeps its own).
  static std::unique_ptr<RSAKey> FromOpenSSLKey(const EVP_PKEY* key);
  // A public key from the hexadecimal modulus and the decimal exponent; nothing when either
  // does not parse.
  static std::unique_ptr<RSAKey> FromPublicKeyString(std::string_view hexModulus,
                                                     std::string_view decimalExponent);
  // Nothing without "n" and "e", or when a present part is not hexadecimal.
  static std::unique_ptr<RSAKey> Unarchive(const values::Value& archive);
  static std::unique_ptr<RSAKey> UnarchiveData(std::span<const std::uint8_t> bytes);

  values::Value Archive() const;
  values::Bytes ArchiveData() const;
  std::unique_ptr<RSAKey> Copy() const;

  bool HasPrivateExponent() const;
  // Has a private exponent and passes OpenSSL's key check.
  bool IsValidPrivateKey() const;
  const std::string& PublicKeyString() const;
  const std::string& Fingerprint() const;
  std::size_t ModulusSize() const;  // bytes

  std::optional<values::Bytes> EncryptOAEP(std::span<const std::uint8_t> plain) const;
  std::optional<values::Bytes> DecryptOAEP(std::span<const std::uint8_t> enciphered) const;

  EVP_PKEY* Get() const { return key_; }

 private:
  explicit RSAKey(EVP_PKEY* key) : key_(key) {}
  EVP_PKEY* key_;
  mutable std::once_flag publicOnce_, fingerprintOnce_;
  mutable std::string publicKeyString_, fingerprint_;
};

}  // namespace sharing
