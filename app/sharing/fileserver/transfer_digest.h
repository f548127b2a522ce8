#pragma once
// Digest authentication of the file-transfer server (realm "trdl_realm", no qop): the
// nonces it hands out and the check of a request's "Authorization" header.
//
// A nonce is the Base64 of "low|high|random", the low and high 32 bits of the machine's
// up-time in nanoseconds and a random number; it is stale once more than
// kTransferNonceLifetime whole seconds old. Peers on the same machine accept each other's
// nonces, since nothing but the time is checked.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sharing {

inline constexpr char kTransferRealm[] = "trdl_realm";
inline constexpr std::int64_t kTransferNonceLifetime = 45;  // seconds

// The up-time in nanoseconds (CLOCK_MONOTONIC).
std::uint64_t UpTimeNanoseconds();
std::string MakeTransferNonce(std::uint64_t upTimeNs);

struct DigestFields {
  std::string username, nonce, uri, realm, response;
};
// The five fields the server reads; nothing when one is missing.
std::optional<DigestFields> ParseDigestFields(std::string_view header);

// Whether the nonce is older than the lifetime (an unreadable nonce counts as stale).
bool TransferNonceStale(std::string_view nonce, std::uint64_t nowNs);

// MD5(hex(MD5(user:realm:password)):nonce:hex(MD5(method:uri))) in lower-case hex, with
// method "GET" or "POST".
std::string ExpectedDigestResponse(const DigestFields& fields, std::string_view method,
                                   std::string_view password);

}  // namespace sharing
