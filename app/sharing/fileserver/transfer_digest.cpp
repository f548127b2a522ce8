#include "app/sharing/fileserver/transfer_digest.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "app/sharing/crypto/sharing_base64.h"
#include "platform/values/digest.h"

namespace sharing {
namespace {

// The text after the first double quote that follows `word`, up to the next quote.
std::optional<std::string> QuotedAfter(std::string_view header, std::string_view word) {
  const std::size_t at = header.find(word);
  if (at == std::string_view::npos) return std::nullopt;
  const std::size_t open = header.find('"', at + word.size());
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t close = header.find('"', open + 1);
  if (close == std::string_view::npos) return std::nullopt;
  return std::string(header.substr(open + 1, close - open - 1));
}

}  // namespace

std::uint64_t UpTimeNanoseconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint64_t>(ts.tv_sec) * 1000000000ULL + static_cast<std::uint64_t>(ts.tv_nsec);
}

std::string MakeTransferNonce(std::uint64_t upTimeNs) {
  std::uint32_t random = 0;
  if (RAND_bytes(reinterpret_cast<unsigned char*>(&random), sizeof random) != 1) random = 0;
  char text[64];
  const int n =
      std::snprintf(text, sizeof text, "%lu|%lu|%ld", static_cast<unsigned long>(upTimeNs & 0xFFFFFFFFu),
                    static_cast<unsigned long>(upTimeNs >> 32), static_cast<long>(random & 0x7FFFFFFF));
  return Base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(text), static_cast<std::size_t>(n)));
}

std::optional<DigestFields> ParseDigestFields(std::string_view header) {
  DigestFields f;
  auto user = QuotedAfter(header, "username");
  auto nonce = QuotedAfter(header, "nonce");
  auto uri = QuotedAfter(header, "uri");
  auto realm = QuotedAfter(header, "realm");
  auto response = QuotedAfter(header, "response");
  if (!user || !nonce || !uri || !realm || !response) return std::nullopt;
  return DigestFields{*user, *nonce, *uri, *realm, *response};
}

bool TransferNonceStale(std::string_view nonce, std::uint64_t nowNs) {
  const std::vector<std::uint8_t> bytes = Base64Decode(nonce);
  const std::string text(bytes.begin(), bytes.end());
  unsigned long low = 0, high = 0, random = 0;
  if (text.size() > 64 || std::sscanf(text.c_str(), "%lu|%lu|%lu", &low, &high, &random) != 3) return true;
  const std::uint64_t then = (static_cast<std::uint64_t>(high & 0xFFFFFFFFu) << 32) | (low & 0xFFFFFFFFu);
  // A time ahead of ours (another machine's up-time) is as stale as an old one.
  if (then > nowNs) return true;
  return static_cast<std::int64_t>((nowNs - then) / 1000000000ULL) > kTransferNonceLifetime;
}

std::string ExpectedDigestResponse(const DigestFields& fields, std::string_view method,
                                   std::string_view password) {
  const std::string ha1 = values::Md5Hex(fields.username + ":" + fields.realm + ":" + std::string(password));
  const std::string ha2 = values::Md5Hex(std::string(method) + ":" + fields.uri);
  return values::Md5Hex(ha1 + ":" + fields.nonce + ":" + ha2);
}

}  // namespace sharing
