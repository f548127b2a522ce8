#pragma once
// HTTP authentication objects: what a 401 or 407 challenge asked for, kept so that the
// next request can answer it.
//
// The caller drives the exchange: it makes an object from the challenge, opens a new
// connection and applies its credentials to that request. The stream tells the object
// how the server answered the attempt (`NoteResponse`): the same challenge again means
// the credentials were refused and the object turns invalid (bad password), except for
// a Digest challenge marked stale="true", which only renews the nonce. Nothing is
// retried here.
//
// Basic sends "user:password" in Base64. Digest (RFC 2617) supports MD5 and MD5-sess,
// with qop "auth" (and the old form without qop); every use counts the nonce up.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/net/http_message.h"
#include "platform/net/stream_error.h"

namespace net {

class HttpAuthentication : public std::enable_shared_from_this<HttpAuthentication> {
 public:
  enum class Scheme { kBasic, kDigest };

  // From a 401 (WWW-Authenticate) or 407 (Proxy-Authenticate) response; Digest is
  // preferred when both are offered. An object that cannot answer the challenge (another
  // scheme, no challenge) is returned invalid, with error -1000 in the HTTP domain.
  static std::shared_ptr<HttpAuthentication> CreateFromResponse(const HttpResponseHead& response);
  // Basic credentials sent without waiting for a challenge.
  static std::shared_ptr<HttpAuthentication> CreateBasic(bool for_proxy = false);

  Scheme scheme() const { return scheme_; }
  bool IsForProxy() const { return for_proxy_; }
  std::string Realm() const;

  // Valid until an attempt with it was refused; `error` tells why it is not.
  bool IsValid(StreamError* error = nullptr) const;

  // Sets Authorization (or Proxy-Authorization) on `request`, and has the request carry
  // this object so its stream can report the outcome. False when the object is invalid.
  bool ApplyCredentials(HttpRequest& request, std::string_view user, std::string_view password);

  // The answer to a request that carried these credentials.
  void NoteResponse(const HttpResponseHead& response);

  // The challenge's stale="true" (Digest): the nonce was renewed, credentials still good.
  static bool ChallengeIsStale(std::string_view challenge);

 private:
  struct Challenge {
    Scheme scheme = Scheme::kBasic;
    std::string realm, nonce, opaque, algorithm, qop;
    bool stale = false;
  };
  static std::optional<Challenge> PickChallenge(const std::vector<std::string>& headers);

  mutable std::mutex mutex_;
  Scheme scheme_ = Scheme::kBasic;
  bool for_proxy_ = false;
  Challenge challenge_;
  unsigned nonce_count_ = 0;
  bool applied_ = false;
  std::string user_;  // of the last attempt: tells a refused user name from a refused password
  StreamError error_;
};

// The value of an Authorization field for Basic ("Basic dXNlcjpwYXNz").
std::string BasicAuthorizationValue(std::string_view user, std::string_view password);

}  // namespace net
