#include "platform/net/http_authentication.h"

#include "platform/values/digest.h"

#include "platform/values/base64.h"

#include "platform/values/ascii.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cctype>
#include <cstdio>
#include <vector>

namespace net {

namespace {

// Splits one challenge field into challenges: "Digest realm="a", nonce="b", Basic realm="c"".
// Returns (scheme, parameters) pairs; parameter names lowered, quotes removed.
struct Parsed {
  std::string scheme;
  std::vector<std::pair<std::string, std::string>> params;
};

std::vector<Parsed> ParseChallenges(std::string_view s) {
  std::vector<Parsed> out;
  std::size_t i = 0;
  auto skip_space = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == ',')) ++i;
  };
  auto token = [&] {
    std::size_t b = i;
    while (i < s.size() && s[i] != ' ' && s[i] != '\t' && s[i] != ',' && s[i] != '=') ++i;
    return std::string(s.substr(b, i - b));
  };
  while (true) {
    skip_space();
    if (i >= s.size()) break;
    std::string word = token();
    std::size_t save = i;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size() && s[i] == '=' && !out.empty()) {
      // A parameter of the current challenge.
      ++i;
      while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
      std::string value;
      if (i < s.size() && s[i] == '"') {
        ++i;
        while (i < s.size() && s[i] != '"') {
          if (s[i] == '\\' && i + 1 < s.size()) ++i;
          value += s[i++];
        }
        ++i;
      } else {
        std::size_t b = i;
        while (i < s.size() && s[i] != ',' && s[i] != ' ' && s[i] != '\t') ++i;
        value = std::string(s.substr(b, i - b));
      }
      out.back().params.emplace_back(values::AsciiLower(word), value);
    } else {
      i = save;
      out.push_back({values::AsciiLower(word), {}});
    }
  }
  return out;
}

std::string Param(const Parsed& p, std::string_view name) {
  for (const auto& [k, v] : p.params)
    if (k == name) return v;
  return {};
}

}  // namespace

std::string BasicAuthorizationValue(std::string_view user, std::string_view password) {
  std::string pair(user);
  pair += ':';
  pair += password;
  return "Basic " + values::EncodeBase64(pair);
}

std::optional<HttpAuthentication::Challenge> HttpAuthentication::PickChallenge(
    const std::vector<std::string>& headers) {
  std::optional<Challenge> basic;
  for (const std::string& field : headers) {
    for (const Parsed& p : ParseChallenges(field)) {
      if (p.scheme == "digest") {
        Challenge c;
        c.scheme = Scheme::kDigest;
        c.realm = Param(p, "realm");
        c.nonce = Param(p, "nonce");
        c.opaque = Param(p, "opaque");
        c.algorithm = Param(p, "algorithm");
        c.qop = Param(p, "qop");
        c.stale = values::AsciiLower(Param(p, "stale")) == "true";
        const std::string alg = values::AsciiLower(c.algorithm);
        if (!c.nonce.empty() && (alg.empty() || alg == "md5" || alg == "md5-sess")) return c;
      } else if (p.scheme == "basic" && !basic) {
        Challenge c;
        c.realm = Param(p, "realm");
        basic = c;
      }
    }
  }
  return basic;
}

std::shared_ptr<HttpAuthentication> HttpAuthentication::CreateFromResponse(const HttpResponseHead& response) {
  auto auth = std::shared_ptr<HttpAuthentication>(new HttpAuthentication());
  auth->for_proxy_ = response.StatusCode() == 407;
  auto challenge =
      PickChallenge(response.Headers().Values(auth->for_proxy_ ? "Proxy-Authenticate" : "WWW-Authenticate"));
  if (!challenge) {
    auth->error_ = {ErrorDomain::kHttp, http_code::kAuthenticationTypeUnsupported};
    return auth;
  }
  auth->challenge_ = *challenge;
  auth->scheme_ = challenge->scheme;
  return auth;
}

std::shared_ptr<HttpAuthentication> HttpAuthentication::CreateBasic(bool for_proxy) {
  auto auth = std::shared_ptr<HttpAuthentication>(new HttpAuthentication());
  auth->for_proxy_ = for_proxy;
  return auth;
}

std::string HttpAuthentication::Realm() const {
  std::lock_guard lock(mutex_);
  return challenge_.realm;
}

bool HttpAuthentication::IsValid(StreamError* error) const {
  std::lock_guard lock(mutex_);
  if (error) *error = error_;
  return !error_;
}

bool HttpAuthentication::ChallengeIsStale(std::string_view challenge) {
  for (const Parsed& p : ParseChallenges(challenge))
    if (p.scheme == "digest" && values::AsciiLower(Param(p, "stale")) == "true") return true;
  return false;
}

bool HttpAuthentication::ApplyCredentials(HttpRequest& request, std::string_view user,
                                          std::string_view password) {
  std::string value;
  {
    std::lock_guard lock(mutex_);
    if (error_) return false;
    applied_ = true;
    user_ = std::string(user);
    if (scheme_ == Scheme::kBasic) {
      value = BasicAuthorizationValue(user, password);
    } else {
      const Challenge& c = challenge_;
      const bool sess = values::AsciiLower(c.algorithm) == "md5-sess";
      // qop may offer several options: "auth,auth-int"; only "auth" is spoken here.
      bool qop_auth = false;
      for (std::size_t b = 0; b <= c.qop.size();) {
        std::size_t e = c.qop.find(',', b);
        if (e == std::string::npos) e = c.qop.size();
        std::string opt = c.qop.substr(b, e - b);
        while (!opt.empty() && opt.front() == ' ') opt.erase(0, 1);
        while (!opt.empty() && opt.back() == ' ') opt.pop_back();
        if (values::AsciiLower(opt) == "auth") qop_auth = true;
        b = e + 1;
      }
      unsigned char rnd[8];
      RAND_bytes(rnd, sizeof rnd);
      char cnonce[17];
      for (int i = 0; i < 8; ++i) std::snprintf(cnonce + 2 * i, 3, "%02x", rnd[i]);
      char nc[9];
      std::snprintf(nc, sizeof nc, "%08x", ++nonce_count_);
      const std::string uri = request.TargetText(RequestTarget::kOrigin);
      std::string ha1 = values::Md5Hex(std::string(user) + ":" + c.realm + ":" + std::string(password));
      if (sess) ha1 = values::Md5Hex(ha1 + ":" + c.nonce + ":" + cnonce);
      const std::string ha2 = values::Md5Hex(request.Method() + ":" + uri);
      const std::string response =
          qop_auth ? values::Md5Hex(ha1 + ":" + c.nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2)
                   : values::Md5Hex(ha1 + ":" + c.nonce + ":" + ha2);
      auto quoted = [](std::string_view v) {
        std::string out = "\"";
        for (char ch : v) {
          if (ch == '"' || ch == '\\') out += '\\';
          out += ch;
        }
        return out + "\"";
      };
      value = "Digest username=" + quoted(user) + ", realm=" + quoted(c.realm) +
              ", nonce=" + quoted(c.nonce) + ", uri=" + quoted(uri) + ", response=\"" + response + "\"";
      if (!c.algorithm.empty()) value += ", algorithm=" + c.algorithm;
      if (!c.opaque.empty()) value += ", opaque=" + quoted(c.opaque);
      if (qop_auth) value += std::string(", qop=auth, nc=") + nc + ", cnonce=\"" + cnonce + "\"";
    }
  }
  request.SetHeader(for_proxy_ ? "Proxy-Authorization" : "Authorization", value);
  request.NoteAppliedAuthentication(shared_from_this());
  return true;
}

void HttpAuthentication::NoteResponse(const HttpResponseHead& response) {
  std::lock_guard lock(mutex_);
  if (!applied_ || error_) return;
  const int refused = for_proxy_ ? 407 : 401;
  if (response.StatusCode() != refused) return;
  auto challenge =
      PickChallenge(response.Headers().Values(for_proxy_ ? "Proxy-Authenticate" : "WWW-Authenticate"));
  if (challenge && challenge->scheme == Scheme::kDigest && scheme_ == Scheme::kDigest && challenge->stale) {
    // Right credentials, old nonce: answer the new one.
    challenge_ = *challenge;
    nonce_count_ = 0;
    return;
  }
  error_ = {ErrorDomain::kHttp,
            user_.empty() ? http_code::kAuthenticationBadUserName : http_code::kAuthenticationBadPassword};
}

}  // namespace net
