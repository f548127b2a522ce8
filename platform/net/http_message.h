#pragma once
// HTTP/1.1 messages: the request the program builds and the response head it reads.
//
// Header names compare without regard to case and keep the spelling they were given;
// fields keep their order, and a name may appear more than once (every Set-Cookie field
// is kept). `Header` joins repeated fields with ", " as HTTP allows, except Set-Cookie,
// whose values may contain commas: read those with `Values`.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/values/url.h"

namespace net {

class HttpAuthentication;

bool HeaderNameEquals(std::string_view a, std::string_view b);

class HttpHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  // Replaces every field of that name (keeping the first one's place).
  void Set(std::string_view name, std::string_view value);
  void Add(std::string_view name, std::string_view value);
  void Remove(std::string_view name);
  bool Has(std::string_view name) const;
  std::optional<std::string> Get(std::string_view name) const;
  std::vector<std::string> Values(std::string_view name) const;
  const std::vector<Field>& Fields() const { return fields_; }
  bool empty() const { return fields_.empty(); }
  void AppendToLastValue(std::string_view more) {
    if (!fields_.empty()) fields_.back().second += more;
  }

 private:
  std::vector<Field> fields_;
};

// How the request line names its target.
enum class RequestTarget {
  kOrigin,    // "/path?query": straight to the server, or through a CONNECT tunnel
  kAbsolute,  // "http://host:port/path?query": to an HTTP proxy
};

class HttpRequest {
 public:
  HttpRequest(std::string method, values::Url url);

  const std::string& Method() const { return method_; }
  const values::Url& Url() const { return url_; }
  void SetUrl(values::Url url) { url_ = std::move(url); }
  HttpHeaders& Headers() { return headers_; }
  const HttpHeaders& Headers() const { return headers_; }
  void SetHeader(std::string_view name, std::string_view value) { headers_.Set(name, value); }
  std::optional<std::string> Header(std::string_view name) const { return headers_.Get(name); }
  const std::string& Body() const { return body_; }
  void SetBody(std::string body) { body_ = std::move(body); }

  // "host" or "host:port" (the port only when it is not the scheme's default); IPv6
  // literals in brackets. Empty when the URL has no host.
  std::string HostHeaderValue() const;
  std::string TargetText(RequestTarget target) const;
  // Request line, a Host field when the caller set none, the fields, the blank line.
  std::string SerializeHead(RequestTarget target = RequestTarget::kOrigin) const;
  // The head for logs: the values of Authorization, Proxy-Authorization and Cookie (and
  // a password in the URL) replaced by "<hidden>".
  std::string HeadForLog() const;

  // Authentication objects whose credentials were applied to this request; the stream
  // tells them how the server answered (so a refused attempt makes them invalid).
  void NoteAppliedAuthentication(std::shared_ptr<HttpAuthentication> auth);
  const std::vector<std::shared_ptr<HttpAuthentication>>& AppliedAuthentications() const { return applied_; }

 private:
  std::string method_;
  values::Url url_;
  HttpHeaders headers_;
  std::string body_;
  std::vector<std::shared_ptr<HttpAuthentication>> applied_;
};

class HttpResponseHead {
 public:
  int StatusCode() const { return status_code_; }
  // "HTTP/1.1 404 Not Found" (without the line break).
  const std::string& StatusLine() const { return status_line_; }
  // 10 for HTTP/1.0, 11 for HTTP/1.1.
  int Version() const { return version_; }
  const HttpHeaders& Headers() const { return headers_; }
  std::optional<std::string> Header(std::string_view name) const { return headers_.Get(name); }
  // The head as received, status line to blank line.
  const std::string& Serialized() const { return raw_; }

  // Used by the parser and by tests.
  void SetStatus(int version, int code, std::string status_line) {
    version_ = version;
    status_code_ = code;
    status_line_ = std::move(status_line);
  }
  HttpHeaders& MutableHeaders() { return headers_; }
  void SetSerialized(std::string raw) { raw_ = std::move(raw); }

 private:
  int version_ = 11;
  int status_code_ = 0;
  std::string status_line_;
  HttpHeaders headers_;
  std::string raw_;
};

// Incremental parser of a response head. Feed bytes as they come; it takes only the
// head's bytes, so what follows the blank line is the body's. Interim 1xx responses
// (100 Continue) are skipped; lines may end with CRLF or a bare LF.
class HttpHeadParser {
 public:
  enum class State { kNeedMore, kDone, kError };
  // A head larger than this is refused rather than buffered without end.
  static constexpr std::size_t kMaxHeadSize = 256 * 1024;

  // Returns how many bytes of `data` belong to the head.
  std::size_t Feed(std::string_view data);
  State state() const { return state_; }
  // Valid once state() is kDone.
  const HttpResponseHead& Head() const { return head_; }
  HttpResponseHead TakeHead() { return std::move(head_); }

 private:
  bool ParseHead(std::string_view text);
  std::string buffer_;
  State state_ = State::kNeedMore;
  HttpResponseHead head_;
};

}  // namespace net
